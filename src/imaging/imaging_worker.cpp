// The worker thread of one imaging job: opening sequence, the job's disk,
// one transfer loop per direction, outcome and closing sequence.
#include "imaging/imaging_worker.h"

#include "imaging/disk_tools_job.h"

#include "disk/disk_device.h"
#include "disk/drive_naming.h"
#include "disk/partition_table.h"
#include "disk/raw_device.h"
#include "disk/volume_lock.h"
#include "imaging/checksum_job.h"
#include "imaging/job_state.h"
#include "imaging/job_texts.h"
#include "imaging/transfer_loop.h"
#include "imaging/verify_pass.h"
#include "resources/resource_ids.h"

#include <cstdio>
#include <cstring>

namespace {

struct Outcome {
  const char* word;
  const wchar_t* text;
  const wchar_t* caption;
  uint8_t end;  // kJobEnd*
};

const Outcome kWriteCompleted{kWordCompleted, kWriteCompletedText, kCaptionSuccess, kJobEndCompleted};
const Outcome kWriteCancelled{kWordCancelled, kWriteCancelledText, kCaptionCancelled, kJobEndCancelled};
const Outcome kWriteFailed{kWordFailed, kWriteFailedText, kCaptionFailure, kJobEndFailed};
const Outcome kWriteNotVerified{kWordCancelled, kWriteNotVerifiedText, kCaptionCancelled, kJobEndCancelled};
const Outcome kCreateCompleted{kWordCompleted, kCreateCompletedText, kCaptionSuccess, kJobEndCompleted};
const Outcome kCreateCancelled{kWordCancelled, kCreateCancelledText, kCaptionCancelled, kJobEndCancelled};
const Outcome kCreateFailed{kWordFailed, kCreateFailedText, kCaptionFailure, kJobEndFailed};

wchar_t outcomeText[kOutcomeTextChars];  // an outcome text with its added sentence; worker
char sumNote[kSumTextBytes];             // the checksum's line in the outcome, empty when none; worker
UINT sumNoteCodePage = CP_ACP;           // how sumNote is encoded: a created sum file's name is UTF-8 on NT
static_assert(sizeof(kCreateCancelledText) + sizeof(L"\r\n") + sizeof(kWholeDiskStoppedText) <=
                  sizeof(outcomeText),
              "the longest outcome and its note fit");
static_assert(sizeof(kWriteCancelledText) + sizeof(L"\r\n") + sizeof(kHeadClearedText) <= sizeof(outcomeText),
              "a write's outcome and the cleared head's note fit");

// Copies `text` into outcomeText from `at` on; returns where it ends. By hand:
// the legacy family's C runtime lacks the wide string functions.
uint32_t AppendOutcomeText(uint32_t at, const wchar_t* text) {
  while (*text != L'\0' && at + 1 < kOutcomeTextChars) outcomeText[at++] = *text++;
  outcomeText[at] = L'\0';
  return at;
}

// `note`, when given, goes on a line of its own under the outcome's text, and
// so does the checksum's line (sumNote) when there is one.
void ShowOutcome(const Outcome& outcome, const wchar_t* note = nullptr) {
  jobState.jobEnd.store(outcome.end);
  WriteOutcomeWord(outcome.word);
  RequestProgressRedraw();
  uint32_t at = AppendOutcomeText(0, outcome.text);
  if (note != nullptr) at = AppendOutcomeText(AppendOutcomeText(at, L"\r\n"), note);
  if (sumNote[0] != '\0' && at + 2 < kOutcomeTextChars) {
    at = AppendOutcomeText(at, L"\r\n");
    if (MultiByteToWideChar(sumNoteCodePage, 0, sumNote, -1, outcomeText + at, static_cast<int>(kOutcomeTextChars - at)) == 0) {
      outcomeText[at] = L'\0';
    }
  }
  AskUserW(mainWindow, outcomeText, outcome.caption, MB_OK);
  CloseImageFile();
}

enum class SumVerdict : uint8_t { NotChecked, Matched, Differs };

// After a write that reached its end: the image file's sum, completed with
// what its reads did not reach, against the checksum file's. Matched puts the
// line for the outcome in sumNote; Differs the box's text in `text`.
SumVerdict JudgePublishedSum(char* text, uint32_t textBytes) {
  if (sumCheck.active == 0) return SumVerdict::NotChecked;
  const HashKind kind = sumCheck.kind;
  DWORD error = 0;
  if (!CompleteImageHash(&jobHash, jobState.imageFile, jobState.buffer, jobState.bufferBytes, &error)) {
    std::snprintf(text, textBytes, kSumUnreadFormat, HashKindName(kind), static_cast<unsigned long>(error),
                  sumCheck.fileName);
    return SumVerdict::Differs;
  }
  uint8_t digest[kDigestBytesMax];
  FinishImageHash(&jobHash, kind, digest);
  if (std::memcmp(digest, sumCheck.expected, DigestBytes(kind)) == 0) {
    sumNoteCodePage = CP_ACP;
    std::snprintf(sumNote, sizeof(sumNote), kSumMatchedFormat, HashKindName(kind), sumCheck.fileName);
    return SumVerdict::Matched;
  }
  char expected[kDigestHexBytes];
  char actual[kDigestHexBytes];
  FormatDigestHex(sumCheck.expected, DigestBytes(kind), expected);
  FormatDigestHex(digest, DigestBytes(kind), actual);
  std::snprintf(text, textBytes, kSumDiffersFormat, HashKindName(kind), sumCheck.fileName, sumCheck.fileName,
                expected, actual);
  return SumVerdict::Differs;
}

// "Failed", and the box saying the image is not the published one.
void ShowSumDiffers(const char* text) {
  jobState.jobEnd.store(kJobEndMismatch);
  WriteOutcomeWord(kWordFailed);
  RequestProgressRedraw();
  AskUser(mainWindow, text, kImageProblemCaption, MB_OK | MB_ICONERROR);
  CloseImageFile();
}

wchar_t noteText[kNoteTextBytes * 2];  // the notes of a write's outcome; worker
bool writeUnchecked = false;             // the write's image carried no checksum; worker

// What a completed write adds under its outcome: the image's end left out
// beyond the disk (the user agreed at Start), an image that carried no
// checksum; nullptr when neither.
const wchar_t* WriteNotes() {
  char text[kNoteTextBytes * 2];
  text[0] = '\0';
  int used = 0;
  if (jobState.fitSectors.load() != 0) {
    used = std::snprintf(text, kNoteTextBytes, kLeftOutFormat, jobState.leftOutBytes.load(),
                         jobState.fitAfterPartitions.load() != 0 ? kLeftOutUnpartitioned : kLeftOutZeros);
  }
  if (writeUnchecked && used >= 0) {
    std::snprintf(text + used, sizeof(text) - static_cast<uint32_t>(used), "%s%s", used != 0 ? "\r\n" : "",
                  kNoChecksumNote);
  }
  if (text[0] == '\0' || MultiByteToWideChar(CP_ACP, 0, text, -1, noteText, kNoteTextBytes * 2) == 0) return nullptr;
  return noteText;
}

// `headCleared`: the write ended unfinished with the disk's first MiB zero,
// which the box then says.
void ShowWriteOutcome(LoopEnd end, bool headCleared = false) {
  if (end == LoopEnd::Completed) return ShowOutcome(kWriteCompleted, WriteNotes());
  ShowOutcome(end == LoopEnd::Cancelled ? kWriteCancelled : kWriteFailed, headCleared ? kHeadClearedText : nullptr);
}

// The same sentence on a line of its own under an ANSI box's text.
void AddHeadNote(char* text, uint32_t size, bool headCleared) {
  if (!headCleared) return;
  const size_t used = std::strlen(text);
  std::snprintf(text + used, size - used, "\r\n%s", kHeadClearedNote);
}

bool JobCancelled() { return jobState.cancelRequested.load() != 0; }

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

// Before the first block of a write (NT family): the drive letter's volume,
// or every volume of a whole disk, is locked (asked again for a few seconds
// while in use) and dismounted, and held until the disk closes after the last
// read-back. When one is in use, or will not dismount, nothing is written:
// the disk and the image close and the box names the drive; a cancel (or the
// window closing) ends the waiting at once with the "Cancelled" box. False
// then, with the closing sequence due.
bool HoldJobDisk(DiskDevice* device) {
  if (device->legacy) return true;
  const char designator = jobState.targetDesignator.load();
  const bool wholeDisk = NamesPhysicalDisk(designator);
  const VolumeHold held = wholeDisk ? HoldDiskVolumes(device, static_cast<uint32_t>(designator - '0'), JobCancelled)
                                    : HoldDriveLetter(device, JobCancelled);
  if (held == VolumeHold::Held) return true;
  CloseJobDisk(device);
  if (held == VolumeHold::Cancelled) {
    ShowWriteOutcome(LoopEnd::Cancelled);
    return false;
  }
  CloseImageFile();
  char text[kDriveInUseTextBytes];
  if (wholeDisk) {
    const char letter = diskVolumeLocks.refusedLetter;
    std::snprintf(text, sizeof(text), kDriveInUseFormat, letter, designator, letter);
  } else {
    std::snprintf(text, sizeof(text), kLetterInUseFormat, designator, designator);
  }
  AskUser(mainWindow, text, kDriveInUseCaption, MB_ICONERROR);
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
  AddHeadNote(text, sizeof(text), result.headCleared);
  AskUser(nullptr, text, kDiskErrorCaption, MB_ICONERROR);
}

// A compressed image that could not be read to its end: "Failed", with the
// reason and where in the image it stopped, instead of the plain failure box
// (which a file that cannot be read at all still gets).
void ShowImageProblem(const ImageDecoder& decoder, bool headCleared = false) {
  if (decoder.error == CodecError::ReadFailed) {
    ShowWriteOutcome(LoopEnd::Failed, headCleared);
    return;
  }
  char text[kImageProblemTextBytes];
  FormatImageProblem(text, sizeof(text), decoder.error, decoder.errorOffset, jobState.sectorsDone.load() > 0);
  AddHeadNote(text, sizeof(text), headCleared);
  WriteOutcomeWord(kWordFailed);
  RequestProgressRedraw();
  AskUser(mainWindow, text, kImageProblemCaption, MB_OK | MB_ICONERROR);
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
void ShowVerifyOutcome(const VerifyResult& result, bool headCleared) {
  if (result.end == VerifyEnd::Equal) return ShowOutcome(kWriteCompleted, WriteNotes());
  if (result.end == VerifyEnd::Cancelled) return ShowOutcome(kWriteNotVerified);
  char text[kVerifyErrorTextBytes];
  FormatVerifyError(text, sizeof(text), result);
  AddHeadNote(text, sizeof(text), headCleared);
  // A read error of the pass is a disk failure; only sectors that differ are a mismatch.
  if (result.end == VerifyEnd::Differs) jobState.jobEnd.store(kJobEndMismatch);
  WriteOutcomeWord(kWordFailed);
  RequestProgressRedraw();
  AskUser(mainWindow, text, kVerifyErrorCaption, MB_OK | MB_ICONERROR);
  CloseImageFile();
}

// Reads back the sectors the write put on the disk, then closes the disk. NT:
// through the write's own unbuffered handle (opened for reading too), so the
// bytes come from the disk, not from a cache of what was written, and the
// drive letter or the whole disk's volumes stay locked and dismounted: nothing
// mounts them and writes while the pass reads. When the image's head is still
// to come (`headPending`), the body is read back first; only when it is equal
// is the head written and read back, and a head that reads back wrong is
// cleared again. Legacy: the same sector services as a create. False when the
// job has ended itself (the disk-write error of the head).
bool VerifyWrittenDisk(DiskDevice* device, ImageSource* source, bool headPending) {
  const uint64_t total = jobState.totalSectors.load();
  const uint64_t written = headPending ? total : jobState.sectorsDone.load();
  const uint64_t first = headPending ? kHeadSectors : 0;
  VerifyResult result = RunVerifyPass(device, source, first, written, 0, written);
  if (headPending && result.end == VerifyEnd::Cancelled) {
    // The image's head never went on: the write itself is unfinished.
    CloseJobDisk(device);
    ShowWriteOutcome(LoopEnd::Cancelled, true);
    return true;
  }
  bool headCleared = headPending;
  if (headPending && result.end == VerifyEnd::Equal) {
    // The body reads back equal; the head must still hold the zeros it was
    // cleared to, or the device put some of the body there.
    result = VerifyStillZero(device, 0, kHeadSectors);
    if (result.end == VerifyEnd::Cancelled) {
      CloseJobDisk(device);
      ShowWriteOutcome(LoopEnd::Cancelled, true);
      return true;
    }
    if (result.end != VerifyEnd::Equal) headCleared = ClearDiskHead(device);
  }
  if (headPending && result.end == VerifyEnd::Equal) {
    const uint64_t verified = jobState.sectorsDone.load();
    const LoopResult head = RunWriteLoop(device, source, WriteParts::Head);
    if (head.end == LoopEnd::DiskWriteError) {
      EndWithDiskWriteError(device, head);
      return false;
    }
    if (head.end != LoopEnd::Completed) {
      CloseJobDisk(device);
      ShowWriteOutcome(head.end, head.headCleared);
      return true;
    }
    result = RunVerifyPass(device, source, 0, kHeadSectors, verified, total);
    headCleared = false;
    if (result.end != VerifyEnd::Equal && result.end != VerifyEnd::Cancelled) headCleared = ClearDiskHead(device);
  }
  CloseJobDisk(device);
  ShowVerifyOutcome(result, headCleared);
  return true;
}

// False when the job has ended itself (the disk-write error); otherwise the
// closing sequence follows.
bool RunWriteJob() {
  // The decoder starts before the disk is opened, so an image that is refused
  // here leaves the disk untouched.
  ImageSource source;
  ImageHash* hash = nullptr;
  if (sumCheck.active != 0) {
    StartImageHash(&jobHash, HashBit(sumCheck.kind));
    hash = &jobHash;
  }
  if (!OpenImageSource(&source, jobState.imageFile, jobState.imageFormat, kBlockBytes, hash) || !FirstBlockDecodes(&source)) {
    ShowImageProblem(source.decoder);
    CloseImageSource(&source);
    return true;
  }
  DiskDevice device;
  if (!OpenJobDisk(&device, GENERIC_WRITE)) {
    CloseImageSource(&source);
    AskUser(mainWindow, kOpenForWritingFailed, kDiskErrorCaption, MB_ICONERROR);
    CloseImageFile();
    return true;
  }
  if (!HoldJobDisk(&device)) {
    CloseImageSource(&source);
    return true;
  }
  const bool verify = jobState.verifyAfterWrite.load() != 0;
  // A published sum is judged after the body, like a read-back, so the head waits for it too.
  const bool headWaits = verify || sumCheck.active != 0;
  const LoopResult result = RunWriteLoop(&device, &source, headWaits ? WriteParts::Body : WriteParts::All);
  if (result.end == LoopEnd::DiskWriteError) {
    CloseImageSource(&source);
    EndWithDiskWriteError(&device, result);
    return false;
  }
  // The image was read to its end: its sum decides before the disk is read
  // back, and before the image's head goes on, so a wrong image never boots.
  char sumText[kSumTextBytes];
  if (result.end == LoopEnd::Completed && JudgePublishedSum(sumText, sizeof(sumText)) == SumVerdict::Differs) {
    if (result.headPending) {
      const size_t used = std::strlen(sumText);
      std::snprintf(sumText + used, sizeof(sumText) - used, "\r\n%s", kHeadClearedNote);
    }
    CloseJobDisk(&device);
    CloseImageSource(&source);
    ShowSumDiffers(sumText);
    return true;
  }
  if (result.end == LoopEnd::Completed && verify) {
    const bool closingDue = VerifyWrittenDisk(&device, &source, result.headPending);
    CloseImageSource(&source);
    return closingDue;
  }
  LoopResult ended = result;
  if (result.end == LoopEnd::Completed && result.headPending) {
    ended = RunWriteLoop(&device, &source, WriteParts::Head);  // the sum matched: the head goes on last
    if (ended.end == LoopEnd::DiskWriteError) {
      CloseImageSource(&source);
      EndWithDiskWriteError(&device, ended);
      return false;
    }
  }
  CloseJobDisk(&device);
  if (ended.end == LoopEnd::Failed && source.decoder.error != CodecError::None) {
    ShowImageProblem(source.decoder, ended.headCleared);
  } else {
    ShowWriteOutcome(ended.end, ended.headCleared);
  }
  CloseImageSource(&source);
  return true;
}

bool EmptyImageFile() {
  LONG high = 0;
  if (SetFilePointer(jobState.imageFile, 0, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  return SetEndOfFile(jobState.imageFile) != FALSE;
}

// False when the file system could not take the image's last bytes or close
// the file: the image is then not known to be whole.
bool FlushAndCloseImageFile() {
  if (jobState.imageFile == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(jobState.imageFile) != FALSE;
  const bool closed = CloseHandle(jobState.imageFile) != FALSE;
  jobState.imageFile = INVALID_HANDLE_VALUE;
  return flushed && closed;
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

// A create that completed leaves its image's SHA-256 beside it; the outcome says where.
void WriteCreatedSum() {
  uint8_t digest[kDigestBytesMax];
  FinishImageHash(&jobHash, HashKind::Sha256, digest);
  DWORD error = 0;
  if (WriteSumFile(digest, &error)) {
    sumNoteCodePage = sumFile.shownCodePage;
    std::snprintf(sumNote, sizeof(sumNote), kSumFileWrittenFormat, sumFile.shownName);
  } else {
    sumNoteCodePage = sumFile.shownCodePage;
    std::snprintf(sumNote, sizeof(sumNote), kSumFileFailedFormat, sumFile.shownName, static_cast<unsigned long>(error));
  }
}

void RunCreateJob() {
  ImageSink sink;
  ImageHash* hash = nullptr;
  if (sumFile.active != 0) {
    StartImageHash(&jobHash, HashBit(HashKind::Sha256));
    hash = &jobHash;
  }
  if (!OpenImageSink(&sink, jobState.imageFile, jobState.imageFormat, hash)) {
    WriteOutcomeWord(kWordFailed);
    RequestProgressRedraw();
    AskUser(mainWindow, kNoMemoryToCompress, kImageProblemCaption, MB_OK | MB_ICONERROR);
    CloseImageFile();
    return;
  }
  DiskDevice device;
  if (!OpenJobDisk(&device, GENERIC_READ)) {
    CloseImageSink(&sink);
    AskUser(mainWindow, kOpenForReadingFailed, kDiskErrorCaption, MB_ICONERROR);
    CloseImageFile();
    return;
  }
  // The file named is emptied only now that the disk can be read: a disk that
  // cannot be opened leaves an existing file as it was.
  if (!EmptyImageFile()) {
    CloseImageSink(&sink);
    CloseJobDisk(&device);
    ShowCreateOutcome(LoopEnd::Failed);
    return;
  }
  // Only a physical disk on the NT family has its table read; Start offers no more.
  const bool trim = jobState.trimToPartitions.load() != 0 && !device.legacy;
  const uint64_t end = trim ? TrimmedEnd(&device) : 0;
  LoopResult result = RunCreateLoop(&device, &sink, end);
  CloseImageSink(&sink);
  CloseJobDisk(&device);
  // "Success" only once the image is on its disk: flushed and closed first.
  if (!FlushAndCloseImageFile() && result.end == LoopEnd::Completed) result.end = LoopEnd::Failed;
  // A disk that ended before its table's last partition was copied whole.
  const bool wholeDisk = trim && (end == 0 || (result.end == LoopEnd::Completed && jobState.sectorsDone.load() < end));
  if (result.end == LoopEnd::Completed && sumFile.active != 0) WriteCreatedSum();
  // The last read's error stays pending while the outcome is shown.
  SetLastError(result.error);
  ShowCreateOutcome(result.end, wholeDisk);
}

// The checksums button's job: the image file read once; its sums shown by the
// main window, in a dialog of its own, once they are there.
void RunSumsJob() {
  const SumsResult result = RunSumsPass(jobState.imageFile, jobState.buffer, jobState.bufferBytes);
  CloseImageFile();
  if (result.end == SumsEnd::Done) {
    jobState.jobEnd.store(kJobEndCompleted);
    WriteOutcomeWord(kWordCompleted);
    RequestProgressRedraw();
    ReportImageSums();
    return;
  }
  if (result.end == SumsEnd::Cancelled) jobState.jobEnd.store(kJobEndCancelled);
  WriteOutcomeWord(result.end == SumsEnd::Cancelled ? kWordCancelled : kWordFailed);
  RequestProgressRedraw();
  if (result.end == SumsEnd::ReadError) {
    char text[kSumTextBytes];
    std::snprintf(text, sizeof(text), kSumsUnreadFormat, static_cast<unsigned long>(result.error));
    AskUser(mainWindow, text, kSumsCaption, MB_OK | MB_ICONERROR);
  }
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
  sumNote[0] = '\0';
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
  } else if (mode == kComputeImageSums) {
    RunSumsJob();
  } else if (mode == kDiskTools) {
    RunDiskToolJob();
  } else {
    CloseImageFile();
  }
  if (closingDue) RunClosingSequence();
  return 0;
}
