// The worker thread of one imaging job: opening sequence, the job's disk,
// one transfer loop per direction, outcome and closing sequence.
#include "imaging/imaging_worker.h"

#include "imaging/disk_tools_job.h"

#include "disk/disk_device.h"
#include "disk/drive_naming.h"
#include "disk/partition_table.h"
#include "disk/raw_device.h"
#include "disk/volume_lock.h"
#include "imaging/job_state.h"
#include "imaging/job_texts.h"
#include "imaging/transfer_loop.h"
#include "imaging/verify_pass.h"
#include "resources/resource_ids.h"

#include <cstdio>

namespace {

struct Outcome {
  const char* word;
  const wchar_t* text;
  const wchar_t* caption;
};

const Outcome kWriteCompleted{kWordCompleted, kWriteCompletedText, kCaptionSuccess};
const Outcome kWriteCancelled{kWordCancelled, kWriteCancelledText, kCaptionCancelled};
const Outcome kWriteFailed{kWordFailed, kWriteFailedText, kCaptionFailure};
const Outcome kWriteNotVerified{kWordCancelled, kWriteNotVerifiedText, kCaptionCancelled};
const Outcome kCreateCompleted{kWordCompleted, kCreateCompletedText, kCaptionSuccess};
const Outcome kCreateCancelled{kWordCancelled, kCreateCancelledText, kCaptionCancelled};
const Outcome kCreateFailed{kWordFailed, kCreateFailedText, kCaptionFailure};

wchar_t outcomeText[kOutcomeTextChars];  // an outcome text with its added sentence; worker
static_assert(sizeof(kCreateCancelledText) + sizeof(L"\r\n") + sizeof(kWholeDiskStoppedText) <=
                  sizeof(outcomeText),
              "the longest outcome and its note fit");

// Copies `text` into outcomeText from `at` on; returns where it ends. By hand:
// the legacy family's C runtime lacks the wide string functions.
uint32_t AppendOutcomeText(uint32_t at, const wchar_t* text) {
  while (*text != L'\0' && at + 1 < kOutcomeTextChars) outcomeText[at++] = *text++;
  outcomeText[at] = L'\0';
  return at;
}

// `note`, when given, goes on a line of its own under the outcome's text.
void ShowOutcome(const Outcome& outcome, const wchar_t* note = nullptr) {
  WriteOutcomeWord(outcome.word);
  RequestProgressRedraw();
  const wchar_t* text = outcome.text;
  if (note != nullptr) {
    AppendOutcomeText(AppendOutcomeText(AppendOutcomeText(0, outcome.text), L"\r\n"), note);
    text = outcomeText;
  }
  MessageBoxW(mainWindow, text, outcome.caption, MB_OK);
  CloseImageFile();
}

void ShowWriteOutcome(LoopEnd end) {
  ShowOutcome(end == LoopEnd::Completed ? kWriteCompleted : end == LoopEnd::Cancelled ? kWriteCancelled : kWriteFailed);
}

void ShowCreateOutcome(LoopEnd end, bool wholeDiskNote = false) {
  const wchar_t* note = nullptr;
  if (wholeDiskNote) note = end == LoopEnd::Completed ? kWholeDiskCopiedText : kWholeDiskStoppedText;
  ShowOutcome(end == LoopEnd::Completed   ? kCreateCompleted
              : end == LoopEnd::Cancelled ? kCreateCancelled
                                          : kCreateFailed,
              note);
}

void RunOpeningSequence() {
  jobState.bytesDone.store(0.0);
  jobState.startTick.store(jobState.tickCount.load());
  SetDlgItemTextA(mainWindow, IDC_START, kButtonCancel);
  AddToolTip(IDC_START, mainWindow, kTipCancel, toolTipWindow);
}

// Opens the job's disk by its family. The legacy family names it by a drive
// number from here on, and has nothing that can fail to open.
bool OpenJobDisk(DiskDevice* device, DWORD access) {
  if (jobState.platformClass == kPlatformLegacy) {
    const uint8_t drive = LegacyDriveNumber(jobState.targetDesignator.load());
    jobState.targetDesignator.store(static_cast<char>(drive));
    OpenLegacyDisk(device, drive);
    return true;
  }
  FormatDevicePath(jobState.targetDesignator.load(), devicePath, kDevicePathBytes);
  const bool opened = OpenNtDisk(device, devicePath, access);
  jobState.deviceHandle = device->handle;
  return opened;
}

void CloseJobDisk(DiskDevice* device) {
  CloseDiskDevice(device);
  jobState.deviceHandle = INVALID_HANDLE_VALUE;
}

// Before the first block of a write (NT family): a locked drive letter is
// dismounted, and every volume of a whole disk is locked and dismounted. When
// one of those is in use nothing is written: the disk and the image close and
// the box names the drive; false then, with the closing sequence due.
bool HoldJobDisk(DiskDevice* device) {
  if (device->legacy) return true;
  const char designator = jobState.targetDesignator.load();
  if (!NamesPhysicalDisk(designator)) {
    DismountLockedVolume(device);
    return true;
  }
  if (HoldDiskVolumes(device, static_cast<uint32_t>(designator - '0'))) return true;
  const char letter = diskVolumeLocks.refusedLetter;
  CloseJobDisk(device);
  CloseImageFile();
  char text[kDriveInUseTextBytes];
  std::snprintf(text, sizeof(text), kDriveInUseFormat, letter, designator, letter);
  MessageBoxA(mainWindow, text, kDriveInUseCaption, MB_ICONERROR);
  return false;
}

// The device took fewer bytes than asked: the job ends here, idle before the
// box is shown, so the user may start again while reading it.
void EndWithDiskWriteError(DiskDevice* device, const LoopResult& result) {
  CloseJobDisk(device);
  CloseImageFile();
  RunClosingSequence();
  char text[kDiskWriteErrorTextBytes];
  FormatDiskWriteError(text, sizeof(text), result.error, result.failedSector);
  MessageBoxA(nullptr, text, kDiskErrorCaption, MB_ICONERROR);
}

// A compressed image that could not be read to its end: "Failed", with the
// reason and where in the image it stopped, instead of the plain failure box
// (which a file that cannot be read at all still gets).
void ShowImageProblem(const ImageDecoder& decoder) {
  if (decoder.error == CodecError::ReadFailed) {
    ShowWriteOutcome(LoopEnd::Failed);
    return;
  }
  char text[kImageProblemTextBytes];
  FormatImageProblem(text, sizeof(text), decoder.error, decoder.errorOffset, jobState.sectorsDone.load() > 0);
  WriteOutcomeWord(kWordFailed);
  RequestProgressRedraw();
  MessageBoxA(mainWindow, text, kImageProblemCaption, MB_OK | MB_ICONERROR);
  CloseImageFile();
}

// A compressed image's first block, decoded once before the disk is opened:
// most images that cannot be written (no memory for the dictionary, more than
// the bound, damage at the start) end here. False with the decoder's error.
bool FirstBlockDecodes(ImageSource* source) {
  if (!ImageSourceCompressed(source)) return true;
  const SourceRead first = ReadImageSource(source, jobState.buffer, kBlockBytes);
  if (first.status == SourceStatus::Damaged) return false;
  // A rewind that fails leaves its error for the loop's first read to report.
  RewindImageSource(source);
  return true;
}

// A write read back: the write's own "Success" when every sector matches;
// otherwise the verify error (the job no longer counts as done) or, when
// cancelled, a box saying the image was written but not verified.
void ShowVerifyOutcome(const VerifyResult& result) {
  if (result.end == VerifyEnd::Equal) return ShowOutcome(kWriteCompleted);
  if (result.end == VerifyEnd::Cancelled) return ShowOutcome(kWriteNotVerified);
  char text[kVerifyErrorTextBytes];
  FormatVerifyError(text, sizeof(text), result);
  WriteOutcomeWord(kWordFailed);
  RequestProgressRedraw();
  MessageBoxA(mainWindow, text, kVerifyErrorCaption, MB_OK | MB_ICONERROR);
  CloseImageFile();
}

// Reads back the sectors the write put on the disk and closes the disk. NT:
// the write's handle (and a drive letter's lock) goes first and the disk is
// opened again for reading with the same unbuffered flags, so the bytes come
// from the disk, not from a cache of what was written; the volumes of a
// whole disk stay locked and dismounted until the pass ends, so nothing
// mounts them and writes while it reads. Legacy: the same sector services as
// a create.
void VerifyWrittenDisk(DiskDevice* device, ImageSource* source) {
  const uint64_t written = jobState.sectorsDone.load();
  VerifyResult result;
  bool readable = true;
  if (!device->legacy) {
    const bool volumesHeld = device->volumesHeld;
    device->volumesHeld = false;
    CloseJobDisk(device);
    readable = OpenJobDisk(device, GENERIC_READ);
    device->volumesHeld = volumesHeld;  // let go of with the reading handle
    if (!readable) {
      result.end = VerifyEnd::OpenError;
      result.error = GetLastError();
    }
  }
  if (readable) result = RunVerifyPass(device, source, written);
  CloseJobDisk(device);
  ShowVerifyOutcome(result);
}

// False when the job has ended itself (the disk-write error); otherwise the
// closing sequence follows.
bool RunWriteJob() {
  // The decoder starts before the disk is opened, so an image that is refused
  // here leaves the disk untouched.
  ImageSource source;
  if (!OpenImageSource(&source, jobState.imageFile, jobState.imageFormat) || !FirstBlockDecodes(&source)) {
    ShowImageProblem(source.decoder);
    CloseImageSource(&source);
    return true;
  }
  DiskDevice device;
  if (!OpenJobDisk(&device, GENERIC_WRITE)) {
    CloseImageSource(&source);
    MessageBoxA(mainWindow, kOpenForWritingFailed, kDiskErrorCaption, MB_ICONERROR);
    CloseImageFile();
    return true;
  }
  if (!HoldJobDisk(&device)) {
    CloseImageSource(&source);
    return true;
  }
  const LoopResult result = RunWriteLoop(&device, &source);
  if (result.end == LoopEnd::DiskWriteError) {
    CloseImageSource(&source);
    EndWithDiskWriteError(&device, result);
    return false;
  }
  if (result.end == LoopEnd::Completed && jobState.verifyAfterWrite.load() != 0) {
    VerifyWrittenDisk(&device, &source);
    CloseImageSource(&source);
    return true;
  }
  CloseJobDisk(&device);
  if (result.end == LoopEnd::Failed && source.decoder.error != CodecError::None) {
    ShowImageProblem(source.decoder);
  } else {
    ShowWriteOutcome(result.end);
  }
  CloseImageSource(&source);
  return true;
}

bool ReadTableSectors(void* device, uint64_t first, uint32_t count, uint8_t* out) {
  return ReadDiskSectors(static_cast<DiskDevice*>(device), first, count, out).bytes == count * kSectorBytes;
}

// Where a trimmed create ends: after the disk's last partition, read from its
// table through the job's transfer buffer; 0 when no table can be trusted.
uint64_t TrimmedEnd(DiskDevice* device) {
  const SectorReader reader{ReadTableSectors, device};
  // The sectors the device vouches for; the old size query's answer is the last index.
  DiskDeviceLength(device);
  return AllocatedDiskEnd(reader, device->endSectors, jobState.buffer, kBlockBytes);
}

void RunCreateJob() {
  ImageSink sink;
  if (!OpenImageSink(&sink, jobState.imageFile, jobState.imageFormat)) {
    WriteOutcomeWord(kWordFailed);
    RequestProgressRedraw();
    MessageBoxA(mainWindow, kNoMemoryToCompress, kImageProblemCaption, MB_OK | MB_ICONERROR);
    CloseImageFile();
    return;
  }
  DiskDevice device;
  if (!OpenJobDisk(&device, GENERIC_READ)) {
    CloseImageSink(&sink);
    MessageBoxA(mainWindow, kOpenForReadingFailed, kDiskErrorCaption, MB_ICONERROR);
    CloseImageFile();
    return;
  }
  // Only a physical disk on the NT family has its table read; Start offers no more.
  const bool trim = jobState.trimToPartitions.load() != 0 && !device.legacy;
  const uint64_t end = trim ? TrimmedEnd(&device) : 0;
  const LoopResult result = RunCreateLoop(&device, &sink, end);
  CloseImageSink(&sink);
  CloseJobDisk(&device);
  // A disk that ended before its table's last partition was copied whole.
  const bool wholeDisk = trim && (end == 0 || (result.end == LoopEnd::Completed && jobState.sectorsDone.load() < end));
  // The last read's error stays pending while the outcome is shown.
  SetLastError(result.error);
  ShowCreateOutcome(result.end, wholeDisk);
}

}  // namespace

bool OpenToolDisk(DiskDevice* device, DWORD access) { return OpenJobDisk(device, access); }
bool HoldToolDisk(DiskDevice* device) { return HoldJobDisk(device); }
void CloseToolDisk(DiskDevice* device) { CloseJobDisk(device); }

void FormatDiskWriteError(char* out, uint32_t outSize, DWORD error, uint64_t sector) {
  std::snprintf(out, outSize, kDiskWriteErrorFormat, static_cast<unsigned long>(error), sector);
}

void FormatImageProblem(char* out, uint32_t outSize, CodecError error, uint64_t offset, bool written) {
  const char* reason = kImageDamagedReason;
  if (error == CodecError::OutOfMemory) reason = kImageNoMemoryReason;
  if (error == CodecError::MemoryBound) reason = kImageMemoryBoundReason;
  if (error == CodecError::Unsupported) reason = kImageUnsupportedReason;
  std::snprintf(out, outSize, kImageProblemFormat, reason, offset, written ? kImagePartWritten : kImageNoneWritten);
}

void CloseImageFile() {
  if (jobState.imageFile != INVALID_HANDLE_VALUE) CloseHandle(jobState.imageFile);
  jobState.imageFile = INVALID_HANDLE_VALUE;
}

void RunClosingSequence() {
  SetDlgItemTextA(mainWindow, IDC_START, kButtonStart);
  AddToolTip(IDC_START, mainWindow, kTipStart, toolTipWindow);
  // The buffer goes before busy drops: once idle, Start may put a fresh one in its place.
  ReleaseTransferBuffer();
  jobState.cancelRequested.store(0);
  jobState.busy.store(0);
}

DWORD WINAPI ImagingWorker(LPVOID) {
  RunOpeningSequence();
  const int32_t mode = jobState.mode.load();
  bool closingDue = true;
  if (jobState.buffer == nullptr) {
    // Start never runs a job without its buffer; should it happen, nothing is
    // copied and the job does not pretend to have succeeded.
    if (mode == kWriteImageToDisk) ShowWriteOutcome(LoopEnd::Failed);
    else if (mode == kCreateImageFromDisk) ShowCreateOutcome(LoopEnd::Failed);
    else CloseImageFile();
  } else if (mode == kWriteImageToDisk) {
    closingDue = RunWriteJob();
  } else if (mode == kCreateImageFromDisk) {
    RunCreateJob();
  } else if (mode == kDiskTools) {
    RunDiskToolJob();
  } else {
    CloseImageFile();
  }
  if (closingDue) RunClosingSequence();
  return 0;
}
