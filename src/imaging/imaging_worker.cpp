// The worker thread of one imaging job: opening sequence, the job's disk,
// one transfer loop per direction, outcome and closing sequence.
#include "imaging/imaging_worker.h"

#include "disk/disk_device.h"
#include "disk/drive_naming.h"
#include "disk/raw_device.h"
#include "disk/volume_lock.h"
#include "imaging/job_state.h"
#include "imaging/job_texts.h"
#include "imaging/transfer_loop.h"
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
const Outcome kCreateCompleted{kWordCompleted, kCreateCompletedText, kCaptionSuccess};
const Outcome kCreateCancelled{kWordCancelled, kCreateCancelledText, kCaptionCancelled};
const Outcome kCreateFailed{kWordFailed, kCreateFailedText, kCaptionFailure};

void ShowOutcome(const Outcome& outcome) {
  WriteOutcomeWord(outcome.word);
  RequestProgressRedraw();
  MessageBoxW(mainWindow, outcome.text, outcome.caption, MB_OK);
  CloseImageFile();
}

void ShowWriteOutcome(LoopEnd end) {
  ShowOutcome(end == LoopEnd::Completed ? kWriteCompleted : end == LoopEnd::Cancelled ? kWriteCancelled : kWriteFailed);
}

void ShowCreateOutcome(LoopEnd end) {
  ShowOutcome(end == LoopEnd::Completed   ? kCreateCompleted
              : end == LoopEnd::Cancelled ? kCreateCancelled
                                          : kCreateFailed);
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

// False when the job has ended itself (the disk-write error); otherwise the
// closing sequence follows.
bool RunWriteJob() {
  DiskDevice device;
  if (!OpenJobDisk(&device, GENERIC_WRITE)) {
    MessageBoxA(mainWindow, kOpenForWritingFailed, kDiskErrorCaption, MB_ICONERROR);
    CloseImageFile();
    return true;
  }
  if (!HoldJobDisk(&device)) return true;
  ImageSource source;
  OpenImageSource(&source, jobState.imageFile);
  const LoopResult result = RunWriteLoop(&device, &source);
  if (result.end == LoopEnd::DiskWriteError) {
    EndWithDiskWriteError(&device, result);
    return false;
  }
  CloseJobDisk(&device);
  ShowWriteOutcome(result.end);
  return true;
}

void RunCreateJob() {
  DiskDevice device;
  if (!OpenJobDisk(&device, GENERIC_READ)) {
    MessageBoxA(mainWindow, kOpenForReadingFailed, kDiskErrorCaption, MB_ICONERROR);
    CloseImageFile();
    return;
  }
  ImageSink sink;
  OpenImageSink(&sink, jobState.imageFile);
  const LoopResult result = RunCreateLoop(&device, &sink);
  CloseJobDisk(&device);
  // The last read's error stays pending while the outcome is shown.
  SetLastError(result.error);
  ShowCreateOutcome(result.end);
}

}  // namespace

void FormatDiskWriteError(char* out, uint32_t outSize, DWORD error, uint64_t sector) {
  std::snprintf(out, outSize, kDiskWriteErrorFormat, static_cast<unsigned long>(error), sector);
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
  } else {
    CloseImageFile();
  }
  if (closingDue) RunClosingSequence();
  return 0;
}
