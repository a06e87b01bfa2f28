#include "app/start_command.h"

#include "app/app_state.h"
#include "app/app_texts.h"
#include "app/checksum_lookup.h"
#include "app/close_request.h"
#include "app/trim_option.h"
#include "app/drive_refresh.h"
#include "app/image_fit.h"
#include "app/image_path.h"
#include "disk/disk_guard.h"
#include "disk/disk_identity.h"
#include "disk/drive_list.h"
#include "disk/drive_naming.h"
#include "disk/path_volume.h"
#include "disk/volume_set.h"
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
  AskUser(mainWindow, text, CAPTION_START_FAILED, MB_OK | MB_ICONERROR);
}

constexpr uint32_t kRefusalTextBytes = 512;
// The question's own words take under 256 bytes in either language.
constexpr uint32_t kSumFileTextBytes = 256 + kSumFileNameBytes;

// A checksum file that cannot be used is named before anything else is
// asked (Yes writes without the check); true when the write may go on, with
// sumCheck filled when a sum was found.
bool AcceptChecksumFile() {
  const SumLookup lookup = LookUpImageChecksum(&sumCheck);
  if (lookup != SumLookup::Unusable) return true;
  char text[kSumFileTextBytes];
  std::snprintf(text, sizeof(text), FORMAT_SUM_FILE_UNUSABLE, sumCheck.fileName, HashKindName(sumCheck.kind));
  return AskUser(mainWindow, text, CAPTION_SUM_FILE_UNUSABLE, MB_YESNO | MB_ICONWARNING) == IDYES;
}

// The warning's line naming the sum that will be checked and its file.
void AddSumLine(char* text, uint32_t textBytes) {
  if (sumCheck.active == 0) return;
  const size_t length = std::strlen(text);
  if (length + 2 >= textBytes) return;
  std::memcpy(text + length, "\r\n", 3);
  std::snprintf(text + length + 2, textBytes - length - 2, FORMAT_SUM_WILL_BE_CHECKED, HashKindName(sumCheck.kind),
                sumCheck.fileName);
}

// The warning's line naming the archive's file that will be written.
void AddEntryLine(char* text, uint32_t textBytes) {
  if (imageEntryName[0] == '\0') return;
  // The format is the chosen language's text, so the line break is put apart.
  size_t length = std::strlen(text);
  std::snprintf(text + length, textBytes - length, "\r\n");
  length = std::strlen(text);
  std::snprintf(text + length, textBytes - length, FORMAT_ENTRY_WILL_BE_WRITTEN, imageEntryName);
}
constexpr uint32_t kDiskNameBytes = 24;
constexpr uint32_t kVolumeNameBytes = MAX_PATH + 32;
constexpr uint32_t kWarningTextBytes = 512;

DriveEntry target;        // the chosen disk as it is now; main thread, during Start
PathVolume imageVolume;   // where the image file lies; main thread, during Start
PathVolume windowsVolume; // where Windows lies; main thread, during Start

// "Physical Disk 1" or "drive E:"; on the legacy family a typed digit stands
// for a drive letter.
void NameDisk(char designator, bool legacy, char* out, uint32_t outSize) {
  const char shown = legacy ? static_cast<char>('A' - 1 + LegacyDriveNumber(designator)) : designator;
  std::snprintf(out, outSize, NamesPhysicalDisk(shown) ? NAME_PHYSICAL_DISK : NAME_DRIVE, shown);
}

void ShowProtectedBox(const char* format, const char* volume, char designator, bool legacy) {
  char disk[kDiskNameBytes];
  NameDisk(designator, legacy, disk, sizeof(disk));
  char text[kRefusalTextBytes];
  std::snprintf(text, sizeof(text), format, volume, disk);
  AskUser(mainWindow, text, CAPTION_DISK_PROTECTED, MB_OK | MB_ICONERROR);
}

// The legacy family knows drive letters only.
bool RefuseLegacyProtectedDisk(int32_t selectedTab, char designator) {
  const char imageLetter = ImagePathDriveLetter();
  const char* format = nullptr;
  char letter = 0;
  if (selectedTab == kWriteImageToDisk || selectedTab == kDiskTools) {
    const char windowsLetter = WindowsDriveLetter();
    if (DesignatorHoldsVolume(designator, windowsLetter, true)) {
      format = FORMAT_REFUSE_WINDOWS_DISK;
      letter = windowsLetter;
    } else if (selectedTab == kWriteImageToDisk && DesignatorHoldsVolume(designator, imageLetter, true)) {
      format = FORMAT_REFUSE_IMAGE_DISK;
      letter = imageLetter;
    }
  } else if (DesignatorHoldsVolume(designator, imageLetter, true)) {
    format = FORMAT_REFUSE_CREATE_ON_SOURCE;
    letter = imageLetter;
  }
  if (format == nullptr) return false;
  char volume[kDiskNameBytes];
  std::snprintf(volume, sizeof(volume), NAME_DRIVE, letter);
  ShowProtectedBox(format, volume, designator, true);
  return true;
}

// Refuses, with its box, a write onto the disk that holds Windows or the image
// file, and an image created on the disk being read; true when it refused.
// Without `file` the path is judged (before anything is opened); with it the
// open file is (which also sees through junctions), and only when Windows can
// say which volume holds it.
bool RefuseProtectedDisk(int32_t selectedTab, char designator, HANDLE file) {
  if (jobState.platformClass == kPlatformLegacy) return file == nullptr && RefuseLegacyProtectedDisk(selectedTab, designator);
  if (file == nullptr) {
    std::memset(&imageVolume, 0, sizeof(imageVolume));
    if (selectedTab != kDiskTools) ResolveImagePathVolume(listedVolumes, &imageVolume);
    if (imageVolume.unresolvedLocalShare) {
      AskUser(mainWindow, TEXT_REFUSE_LOCAL_SHARE, CAPTION_DISK_PROTECTED, MB_OK | MB_ICONERROR);
      return true;
    }
  } else if (!ResolveHandleVolume(file, listedVolumes, &imageVolume)) {
    return false;
  }
  const char* format = nullptr;
  const PathVolume* where = &imageVolume;
  if (selectedTab == kWriteImageToDisk || selectedTab == kDiskTools) {
    if (file == nullptr) {
      char directory[MAX_PATH];
      WCHAR wideDirectory[MAX_PATH];
      const UINT length = GetWindowsDirectoryA(directory, MAX_PATH);
      std::memset(&windowsVolume, 0, sizeof(windowsVolume));
      if (length > 0 && length < MAX_PATH &&
          MultiByteToWideChar(CP_ACP, 0, directory, -1, wideDirectory, MAX_PATH) > 0) {
        ResolvePathVolume(wideDirectory, listedVolumes, &windowsVolume);
      }
      if (DesignatorHoldsPathVolume(designator, windowsVolume)) {
        format = FORMAT_REFUSE_WINDOWS_DISK;
        where = &windowsVolume;
      }
    }
    if (format == nullptr && selectedTab == kWriteImageToDisk && DesignatorHoldsPathVolume(designator, imageVolume)) {
      format = FORMAT_REFUSE_IMAGE_DISK;
    }
  } else if (DesignatorHoldsPathVolume(designator, imageVolume)) {
    format = FORMAT_REFUSE_CREATE_ON_SOURCE;
  }
  if (format == nullptr) return false;
  char volume[kVolumeNameBytes];
  NamePathVolume(*where, volume, sizeof(volume));
  ShowProtectedBox(format, volume, designator, false);
  return true;
}

// The chosen disk asked again (NT family): when the field holds a listed
// entry whose disk is gone or is another disk now, a box says so, the list is
// made again and false comes back. Leaves the disk as it is now in `target`.
bool ChosenDiskIsTheListedOne(const char* chosenText, char designator) {
  const DriveEntry* listed = FindDriveEntry(chosenText, kDriveTextBytes);
  const bool present = DescribeNtEntry(designator, &target);
  if (listed != nullptr && listed->hasIdentity && (!present || !SameDisk(listed->identity, target.identity))) {
    char disk[kDiskNameBytes];
    NameDisk(designator, false, disk, sizeof(disk));
    char text[kRefusalTextBytes];
    std::snprintf(text, sizeof(text), FORMAT_DISKS_CHANGED, disk);
    AskUser(mainWindow, text, CAPTION_DISKS_CHANGED, MB_OK | MB_ICONWARNING);
    RefreshDriveList();
    return false;
  }
  if (!present) {
    std::memset(&target, 0, sizeof(target));
    NameDisk(designator, false, target.label, kDriveLabelBytes);
  }
  return true;
}

// The warning, naming the target; then, for a disk Windows reports as
// internal or one whose volumes cannot be known, a second question whose
// default is No. True when the user said Yes to all.
bool UserConfirmsWrite(char designator, bool legacy) {
  if (legacy) {
    const uint8_t drive = LegacyDriveNumber(designator);
    std::snprintf(target.label, kDriveLabelBytes, drive <= 2 ? LEGACY_FLOPPY_LABEL : LEGACY_DRIVE_LABEL,
                  static_cast<char>('A' - 1 + drive));
  }
  char text[kWarningTextBytes + kSumFileNameBytes + kEntryNameBytes];
  std::snprintf(text, sizeof(text), FORMAT_DESTROY_TARGET, TEXT_DESTROY_WARNING, target.label);
  AddEntryLine(text, sizeof(text));
  AddSumLine(text, sizeof(text));
  if (AskUser(mainWindow, text, CAPTION_DESTROY_WARNING, MB_YESNO | MB_ICONWARNING) != IDYES) return false;
  if (legacy) return true;
  char disk[kDiskNameBytes];
  NameDisk(designator, false, disk, sizeof(disk));
  const bool physicalDisk = NamesPhysicalDisk(designator);
  if (target.hasIdentity && IsInternalDisk(target.identity)) {
    char letters[3 * kVolumeLetters + 1];
    letters[0] = '\0';
    if (physicalDisk) {
      DiskLettersText(listedVolumes, static_cast<uint32_t>(designator - '0'), letters, sizeof(letters));
    } else if (const VolumeRecord* volume = FindVolumeByLetter(listedVolumes, designator)) {
      size_t used = 0;
      for (const char* letter = volume->letters; *letter != '\0' && used + 4 <= sizeof(letters); ++letter, used += 3) {
        std::snprintf(letters + used, sizeof(letters) - used, "%c: ", *letter);
      }
    } else {
      std::snprintf(letters, sizeof(letters), "%c: ", designator);
    }
    const size_t length = std::strlen(letters);
    if (length > 0) letters[length - 1] = '\0';
    if (target.identity.lengthBytes > 0) {
      FormatByteSize(static_cast<double>(target.identity.lengthBytes));
    } else {
      std::snprintf(sizeText, sizeof sizeText, "%s", SIZE_TEXT_UNKNOWN);
    }
    disk[0] = static_cast<char>(disk[0] == 'd' ? 'D' : disk[0]);  // it starts the sentence
    std::snprintf(text, sizeof(text), FORMAT_INTERNAL_DISK, disk, sizeText, length > 0 ? letters : TEXT_NO_LETTERS);
  } else if (physicalDisk && VolumeDisksUnknown(listedVolumes)) {
    std::snprintf(text, sizeof(text), FORMAT_UNKNOWN_VOLUMES, disk);
  } else {
    return true;
  }
  return AskUser(mainWindow, text, CAPTION_INTERNAL_DISK, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// The compression the image path's name says: its extension.
ImageFormat NamedImageFormat() {
  char extension[kExtensionBytes];
  // An archive's name ends in two ("tar.gz"), a compressed image's in one.
  ImagePathExtension(extension, sizeof(extension), 2);
  const ImageFormat format = ImageFormatFromExtension(extension);
  if (format != ImageFormat::Plain) return format;
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
    AskUser(mainWindow, TEXT_OPEN_IMAGE_FAILED, CAPTION_FILE_ERROR, MB_OK);
    return false;
  }
  char text[kImageRefusalTextBytes];
  std::snprintf(text, sizeof(text), FORMAT_NOT_COMPRESSED, ImageFormatExtension(format));
  AskUser(mainWindow, text, CAPTION_FILE_ERROR, MB_OK | MB_ICONERROR);
  return false;
}

// Starts the worker on the job Start or the checksums button prepared (the
// image file open in jobState.imageFile); on a failure the box says so and
// the window is idle again.
void LaunchJob(int32_t mode, bool verify);

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
  jobState.jobEnd.store(kJobEndNone);

  driveText[kDriveTextBytes - 1] = '\0';
  char chosenText[kDriveTextBytes];  // the field whole: a listed entry is known by all of its text
  std::memcpy(chosenText, driveText, kDriveTextBytes);
  CutDriveText();
  // A name longer than a path can be is refused rather than cut to another
  // file's name; a device is no image file, and opening one could write a disk.
  // The disk tools use no image file.
  if (selectedTab != kDiskTools && ImagePathTooLong()) {
    AskUser(mainWindow, TEXT_NAME_TOO_LONG, CAPTION_NO_FILE_NAME, MB_OK | MB_ICONERROR);
    return;
  }
  if (selectedTab != kDiskTools && (!ImagePathGiven() || ImagePathNamesDevice())) {
    AskUser(mainWindow, TEXT_NO_FILE_NAME, CAPTION_NO_FILE_NAME, MB_OK);
    return;
  }
  const char designator = DriveDesignatorFromText(driveText);
  if (designator == 0) {
    AskUser(mainWindow, TEXT_NO_DRIVE, CAPTION_NO_DRIVE, MB_OK);
    return;
  }
  if (selectedTab != kWriteImageToDisk && selectedTab != kCreateImageFromDisk && selectedTab != kDiskTools) return;
  const bool legacy = jobState.platformClass == kPlatformLegacy;
  if (!legacy) {
    // Start judges the volumes as they are now, not as the list found them.
    FindVolumes(&listedVolumes);
    if (!ChosenDiskIsTheListedOne(chosenText, designator)) return;
  }
  if (RefuseProtectedDisk(selectedTab, designator, nullptr)) return;
  jobState.targetDesignator.store(designator);

  sumCheck.active = 0;
  sumFile.active = 0;
  imageEntryName[0] = '\0';  // a disk tool writes no image
  // A disk tool destroys the disk's contents as a write does, under the same rules.
  if (selectedTab == kDiskTools) {
    if (diskTool == kToolRestoreDrive && (!RestoreOffered() || !NamesPhysicalDisk(designator))) {
      AskUser(mainWindow, TEXT_RESTORE_NEEDS_DISK, CAPTION_RESTORE_NEEDS_DISK, MB_OK | MB_ICONERROR);
      return;
    }
    if (!UserConfirmsWrite(designator, legacy)) return;
    jobState.imageFile = INVALID_HANDLE_VALUE;
    jobState.diskTool.store(diskTool);
  } else if (selectedTab == kWriteImageToDisk) {
    if (!AcceptChecksumFile()) return;
    HANDLE file = OpenImagePath(GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE) {
      AskUser(mainWindow, TEXT_OPEN_IMAGE_FAILED, CAPTION_FILE_ERROR, MB_OK);
      return;
    }
    if (RefuseProtectedDisk(selectedTab, designator, file)) {
      CloseHandle(file);
      return;
    }
    const ImageFormat format = NamedImageFormat();
    if (!ImageContentFitsName(file, format)) return;
    // An image longer than the disk is refused before the warning.
    if (!ImageFitsDisk(file, format, designator) || !UserConfirmsWrite(designator, legacy)) {
      CloseHandle(file);
      return;
    }
    jobState.imageFile = file;
    jobState.imageFormat = format;
  } else if (selectedTab == kCreateImageFromDisk) {
    // Opened as it is: the worker empties it only once the disk could be
    // opened, and an existing file is replaced only when the user agrees.
    SetLastError(NO_ERROR);  // only "it existed" is set by a successful open
    HANDLE file = OpenImagePath(GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN);
    const bool existed = file != INVALID_HANDLE_VALUE && GetLastError() == ERROR_ALREADY_EXISTS;
    if (file == INVALID_HANDLE_VALUE) {
      AskUser(mainWindow, TEXT_CREATE_IMAGE_FAILED, CAPTION_FILE_ERROR, MB_OK);
      return;
    }
    if (RefuseProtectedDisk(selectedTab, designator, file)) {
      CloseHandle(file);
      if (!existed) DeleteImagePath();
      return;
    }
    if (!AskToReplaceImage(existed)) {
      CloseHandle(file);
      return;
    }
    jobState.imageFile = file;
    // Without a path for it the image is still created, only without its sum.
    PrepareSumFile();
    // .gz and .zst make compressed images, .vhd a fixed virtual disk; any other name a plain one.
    const ImageFormat format = NamedImageFormat();
    jobState.imageFormat = CanEncodeFormat(format) ? format : ImageFormat::Plain;
    jobState.fitSectors.store(0);
  } else {
    return;  // the window has three tabs; no other job exists
  }
  LaunchJob(selectedTab, verifyAfterWrite && selectedTab == kWriteImageToDisk);
}

void PressSumsButton() {
  if (quitWhenIdle.load() != 0 || jobState.busy.load() != 0) return;
  jobState.jobEnd.store(kJobEndNone);
  if (!ImagePathGiven()) {
    AskUser(mainWindow, TEXT_NO_FILE_NAME, CAPTION_NO_FILE_NAME, MB_OK);
    return;
  }
  sumCheck.active = 0;
  sumFile.active = 0;
  HANDLE file = OpenImagePath(GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (file == INVALID_HANDLE_VALUE) {
    AskUser(mainWindow, TEXT_OPEN_IMAGE_FAILED, CAPTION_FILE_ERROR, MB_OK);
    return;
  }
  jobState.imageFile = file;
  jobState.imageFormat = ImageFormat::Plain;  // the file as stored, whatever its name
  LaunchJob(kComputeImageSums, false);
}

namespace {

void LaunchJob(int32_t mode, bool verify) {
  jobState.mode.store(mode);
  jobState.verifyAfterWrite.store(verify ? 1 : 0);

  // A press that came as the last job ended (its flag cleared, busy not yet)
  // left the flag up; it was meant for that job, not for this one.
  jobState.cancelRequested.store(0);
  jobState.outcomeWordShown.store(0);
  jobState.jobEnd.store(kJobEndFailed);
  jobState.busy.store(1);
  // The box is greyed for anything but a physical disk; a check left in it
  // from another drive does not count.
  const bool trim = mode == kCreateImageFromDisk && trimBoxChecked != 0 && TrimOffered(driveText, jobState.platformClass);
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

}  // namespace
