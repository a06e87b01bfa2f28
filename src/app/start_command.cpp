#include "app/start_command.h"

#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/close_request.h"
#include "app/trim_option.h"
#include "app/image_path.h"
#include "disk/disk_guard.h"
#include "disk/drive_naming.h"
#include "image/image_codec.h"
#include "imaging/disk_tools_job.h"
#include "imaging/imaging_worker.h"
#include "imaging/job_state.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kImageRefusalTextBytes = 256;
constexpr uint32_t kExtensionBytes = 8;  // longer than any compressed format's

// The combo text ends just before its first "(", where the size label of a
// listed drive begins; a text that starts with "(" leaves nothing.
void CutDriveText() {
  char* bracket = std::strchr(driveText, '(');
  if (bracket == nullptr) return;
  if (bracket == driveText) {
    driveText[0] = '\0';
  } else {
    bracket[-1] = '\0';
  }
}

// Undoes Start after the image file was opened and busy was set, so a failed
// start never leaves the window stuck busy or the file open.
void AbandonStart(const char* text) {
  if (jobState.imageFile != INVALID_HANDLE_VALUE) CloseHandle(jobState.imageFile);
  jobState.imageFile = INVALID_HANDLE_VALUE;
  jobState.busy.store(0);
  MessageBoxA(mainWindow, text, CAPTION_START_FAILED, MB_OK | MB_ICONERROR);
}

constexpr uint32_t kRefusalTextBytes = 320;
constexpr uint32_t kDiskNameBytes = 24;

// Refuses, with its box, a write onto the disk that holds Windows or the image
// file, and an image created on the disk being read; true when it refused.
// Nothing has been opened yet, so nothing is to be undone.
bool RefuseProtectedDisk(int32_t selectedTab, char designator) {
  const bool legacy = jobState.platformClass == kPlatformLegacy;
  const char imageLetter = ImagePathDriveLetter();
  const char* format = nullptr;
  char letter = 0;
  if (selectedTab == kWriteImageToDisk || selectedTab == kDiskTools) {
    const char windowsLetter = WindowsDriveLetter();
    if (DesignatorHoldsVolume(designator, windowsLetter, legacy)) {
      format = FORMAT_REFUSE_WINDOWS_DISK;
      letter = windowsLetter;
    } else if (selectedTab == kWriteImageToDisk && DesignatorHoldsVolume(designator, imageLetter, legacy)) {
      format = FORMAT_REFUSE_IMAGE_DISK;
      letter = imageLetter;
    }
  } else if (selectedTab == kCreateImageFromDisk && DesignatorHoldsVolume(designator, imageLetter, legacy)) {
    format = FORMAT_REFUSE_CREATE_ON_SOURCE;
    letter = imageLetter;
  }
  if (format == nullptr) return false;
  // On the legacy family a typed digit stands for a drive letter.
  const char shown = legacy ? static_cast<char>('A' - 1 + LegacyDriveNumber(designator)) : designator;
  char disk[kDiskNameBytes];
  std::snprintf(disk, sizeof(disk), NamesPhysicalDisk(shown) ? NAME_PHYSICAL_DISK : NAME_DRIVE, shown);
  char text[kRefusalTextBytes];
  std::snprintf(text, sizeof(text), format, letter, disk);
  MessageBoxA(mainWindow, text, CAPTION_DISK_PROTECTED, MB_OK | MB_ICONERROR);
  return true;
}

// The compression the image path's name says: its extension.
ImageFormat NamedImageFormat() {
  char extension[kExtensionBytes];
  ImagePathExtension(extension, sizeof(extension));
  return ImageFormatFromExtension(extension);
}

// A name that says compressed must be borne out by the file's first bytes;
// otherwise the file is closed and refused before anything is written.
bool ImageContentFitsName(HANDLE file, ImageFormat format) {
  const ContentCheck check = CheckImageContent(file, format);
  if (check == ContentCheck::Matches) return true;
  CloseHandle(file);
  if (check == ContentCheck::Unreadable) {
    MessageBoxA(mainWindow, TEXT_OPEN_IMAGE_FAILED, CAPTION_FILE_ERROR, MB_OK);
    return false;
  }
  char text[kImageRefusalTextBytes];
  std::snprintf(text, sizeof(text), FORMAT_NOT_COMPRESSED, ImageFormatExtension(format));
  MessageBoxA(mainWindow, text, CAPTION_FILE_ERROR, MB_OK | MB_ICONERROR);
  return false;
}

}  // namespace

DWORD WINAPI RunImagingJob(LPVOID unused) {
  const DWORD code = ImagingWorker(unused);
  WorkerEnded();
  return code;
}

void PressStartButton(int32_t selectedTab, bool verifyAfterWrite, uint8_t diskTool) {
  // Once the user has asked to close, the window only waits for the running
  // job; it starts nothing new.
  if (quitWhenIdle.load() != 0) return;
  if (jobState.busy.load() != 0) {
    jobState.cancelRequested.store(1);
    return;
  }

  driveText[kDriveTextBytes - 1] = '\0';
  CutDriveText();
  // A name longer than a path can be is refused rather than cut to another file's name.
  if (selectedTab != kDiskTools && !ImagePathGiven()) {
    MessageBoxA(mainWindow, TEXT_NO_FILE_NAME, CAPTION_NO_FILE_NAME, MB_OK);
    return;
  }
  const char designator = DriveDesignatorFromText(driveText);
  if (designator == 0) {
    MessageBoxA(mainWindow, TEXT_NO_DRIVE, CAPTION_NO_DRIVE, MB_OK);
    return;
  }
  if (RefuseProtectedDisk(selectedTab, designator)) return;

  // A disk tool destroys the disk's contents as a write does, under the same rules.
  if (selectedTab == kDiskTools) {
    if (diskTool == kToolRestoreDrive && (!RestoreOffered() || !NamesPhysicalDisk(designator))) {
      MessageBoxA(mainWindow, TEXT_RESTORE_NEEDS_DISK, CAPTION_RESTORE_NEEDS_DISK, MB_OK | MB_ICONERROR);
      return;
    }
    if (MessageBoxA(mainWindow, TEXT_DESTROY_WARNING, CAPTION_DESTROY_WARNING, MB_YESNO | MB_ICONWARNING) != IDYES) {
      return;
    }
    jobState.imageFile = INVALID_HANDLE_VALUE;
    jobState.diskTool.store(diskTool);
  } else if (selectedTab == kWriteImageToDisk) {
    if (MessageBoxA(mainWindow, TEXT_DESTROY_WARNING, CAPTION_DESTROY_WARNING,
                    MB_YESNO | MB_ICONWARNING) != IDYES) {
      return;
    }
    HANDLE file = OpenImagePath(GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE) {
      MessageBoxA(mainWindow, TEXT_OPEN_IMAGE_FAILED, CAPTION_FILE_ERROR, MB_OK);
      return;
    }
    const ImageFormat format = NamedImageFormat();
    if (!ImageContentFitsName(file, format)) return;
    jobState.imageFile = file;
    jobState.imageFormat = format;
  } else if (selectedTab == kCreateImageFromDisk) {
    HANDLE file = OpenImagePath(GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE) {
      MessageBoxA(mainWindow, TEXT_CREATE_IMAGE_FAILED, CAPTION_FILE_ERROR, MB_OK);
      return;
    }
    jobState.imageFile = file;
    // .gz and .zst make compressed images; any other name a plain one.
    const ImageFormat format = NamedImageFormat();
    jobState.imageFormat = CanEncodeFormat(format) ? format : ImageFormat::Plain;
  } else {
    return;  // the window has three tabs; no other job exists
  }
  jobState.mode.store(selectedTab);
  const bool verify = verifyAfterWrite && selectedTab == kWriteImageToDisk;
  jobState.verifyAfterWrite.store(verify ? 1 : 0);

  // A press that came as the last job ended (its flag cleared, busy not yet)
  // left the flag up; it was meant for that job, not for this one.
  jobState.cancelRequested.store(0);
  jobState.outcomeWordShown.store(0);
  jobState.busy.store(1);
  jobState.targetDesignator.store(designator);
  // The box is greyed for anything but a physical disk; a check left in it
  // from another drive does not count.
  const bool trim = selectedTab == kCreateImageFromDisk && trimBoxChecked != 0 &&
                    TrimOffered(driveText, jobState.platformClass);
  jobState.trimToPartitions.store(trim ? 1 : 0);
  jobState.sectorsDone.store(0);
  jobState.buffer = AllocateTransferBuffer();
  if (verify && jobState.buffer != nullptr) jobState.verifyBuffer = AllocateVerifyBuffer();
  if (jobState.buffer == nullptr || (verify && jobState.verifyBuffer == nullptr)) {
    ReleaseTransferBuffer();
    AbandonStart(TEXT_NO_TRANSFER_BUFFER);
    return;
  }
  jobState.bufferBytes = kTransferBytes;
  jobState.percentDone.store(0.0);
  jobState.percentDoneCopy.store(0.0);

  runningWorkers.fetch_add(1);
  DWORD threadId = 0;  // Windows 95 and 98 refuse to start a thread without somewhere to put its id
  HANDLE thread = CreateThread(nullptr, 0, RunImagingJob, nullptr, 0, &threadId);
  if (thread == nullptr) {
    runningWorkers.fetch_sub(1);
    ReleaseTransferBuffer();
    AbandonStart(TEXT_NO_WORKER_THREAD);
    return;
  }
  // Nothing waits for the thread by its handle; the count above tracks it.
  CloseHandle(thread);
}
