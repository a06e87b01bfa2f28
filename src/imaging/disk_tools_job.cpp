// The capacity check and the restore as jobs of the worker; see disk_tools_job.h.
#include "imaging/disk_tools_job.h"

#include "disk/volume_set.h"
#include "disk/drive_list.h"
#include "disk/drive_naming.h"
#include "disk/mbr_layout.h"
#include "disk/volume_lock.h"
#include "imaging/capacity_check.h"
#include "imaging/job_state.h"
#include "imaging/job_texts.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kClearSectors = 2048;  // 1 MiB at each end: the MBR, a GPT and its backup
constexpr uint32_t kSizeBytes = kSizeTextBytes;

typedef DWORD(WINAPI* FormatDriveCall)(HWND, UINT, UINT, UINT);
constexpr UINT kFormatDefault = 0xFFFF;  // SHFMT_ID_DEFAULT

// The size of `sectors` in the drive list's units, made in the worker's own
// buffer: the drive list may be formatting sizes on the main thread meanwhile.
void SizeOf(uint64_t sectors, char* out) { FormatSizeText(static_cast<double>(sectors) * kSectorBytes, out); }

// The drive letter of a volume on physical disk `disk`, waited for up to
// kLetterWaitMs; 0 when none appeared.
VolumeSet restoredVolumes;  // the volumes found while waiting for the new one; worker

char WaitForDiskLetter(uint32_t disk) {
  for (DWORD waited = 0;; waited += kLetterPollMs) {
    FindVolumes(&restoredVolumes);
    for (uint32_t i = 0; i < restoredVolumes.count; ++i) {
      const VolumeRecord& volume = restoredVolumes.volumes[i];
      if (volume.letters[0] != '\0' && VolumeLiesOnDisk(volume, disk)) return volume.letters[0];
    }
    if (waited >= kLetterWaitMs) return 0;
    Sleep(kLetterPollMs);
  }
}

// Windows' own Format dialog on `letter`; false when shell32 lacks it.
bool OpenFormatDialog(char letter) {
  HMODULE shell = LoadLibraryA("shell32.dll");
  if (shell == nullptr) return false;
  FormatDriveCall format = FindFunction<FormatDriveCall>(shell, "SHFormatDrive");
  if (format != nullptr) format(mainWindow, static_cast<UINT>(letter - 'A'), kFormatDefault, 0);
  FreeLibrary(shell);
  return format != nullptr;
}

bool WriteWhole(DiskDevice* device, uint64_t sector, uint32_t count, const uint8_t* buffer, DWORD* error) {
  const DiskTransfer written = WriteDiskSectors(device, sector, count, buffer);
  *error = written.error != 0 ? written.error : ERROR_WRITE_FAULT;
  return written.bytes == count * kSectorBytes;
}

// Clears both ends, writes the one-partition table and tells Windows; the disk
// is closed after. Then the new volume's letter is waited for and formatted.
void RestoreDisk() {
  const char designator = jobState.targetDesignator.load();
  const uint32_t disk = static_cast<uint32_t>(designator - '0');
  DiskDevice device;
  if (!OpenToolDisk(&device, GENERIC_WRITE)) {
    AskUser(mainWindow, kOpenForWritingFailed, kDiskErrorCaption, MB_ICONERROR);
    return;
  }
  if (!HoldToolDisk(&device)) return;
  const uint64_t sectors = DiskDeviceSectors(&device);
  uint8_t* buffer = jobState.buffer;
  char text[kRestoreTextBytes];
  if (sectors <= kFirstPartitionSector || sectors < 2 * kClearSectors) {
    CloseToolDisk(&device);
    WriteOutcomeWord(kWordFailed);
    AskUser(mainWindow, sectors == 0 ? kRestoreSizeUnknown : kRestoreTooSmall, kRestoreCaption, MB_ICONERROR);
    return;
  }
  std::memset(buffer, 0, size_t{kClearSectors} * kSectorBytes);
  DWORD error = 0;
  const char* step = kRestoreClearing;
  bool ok = WriteWhole(&device, 0, kClearSectors, buffer, &error) &&
            WriteWhole(&device, sectors - kClearSectors, kClearSectors, buffer, &error);
  if (ok) {
    step = kRestoreWritingTable;
    LayOutSinglePartitionMbr(sectors, NewCheckKey() | 1, buffer);
    ok = WriteWhole(&device, 0, 1, buffer, &error);
  }
  const uint8_t type = buffer[446 + 4];
  if (ok) {
    DWORD returned = 0;
    DeviceIoControl(device.handle, kIoctlDiskUpdateProperties, nullptr, 0, nullptr, 0, &returned, nullptr);
  }
  CloseToolDisk(&device);
  if (!ok) {
    WriteOutcomeWord(kWordFailed);
    std::snprintf(text, sizeof(text), kRestoreFailedFormat, designator, static_cast<unsigned long>(error), step);
    AskUser(mainWindow, text, kRestoreCaption, MB_ICONERROR);
    return;
  }
  jobState.jobEnd.store(kJobEndCompleted);
  WriteOutcomeWord(kWordCompleted);
  RequestProgressRedraw();
  const char letter = WaitForDiskLetter(disk);
  char tail[200];
  if (letter == 0) {
    std::snprintf(tail, sizeof(tail), "%s", kRestoreNoLetter);
  } else if (OpenFormatDialog(letter)) {
    std::snprintf(tail, sizeof(tail), kRestoreFormatOpened, letter);
  } else {
    std::snprintf(tail, sizeof(tail), kRestoreNoFormatDialog, letter);
  }
  char size[kSizeBytes];
  SizeOf(sectors - kFirstPartitionSector, size);
  std::snprintf(text, sizeof(text), kRestoreDoneFormat, designator, size, type, tail);
  AskUser(mainWindow, text, kRestoreCaption, MB_OK);
}

void FormatCheckResult(const CapacityResult& r, char* out, uint32_t outSize) {
  char reported[kSizeBytes];
  SizeOf(r.sectors, reported);
  int at = 0;
  if (r.cancelled) {
    at = std::snprintf(out, outSize, kCheckCancelledFormat, r.checking ? kCheckReading : kCheckWriting,
                       jobState.sectorsDone.load(), r.sectors);
  } else if (r.failedSectors == 0) {
    at = std::snprintf(out, outSize, kCheckAllGoodFormat, r.sectors, reported);
  } else if (KeptSectors(r) != 0) {
    char kept[kSizeBytes];
    SizeOf(KeptSectors(r), kept);
    at = std::snprintf(out, outSize, kCheckKeepsFirstFormat, KeptSectors(r), kept, r.sectors, reported,
                       r.firstFailed, r.failedSectors, r.wrapSectors != 0 ? kCheckWraps : "");
  } else {
    at = std::snprintf(out, outSize, kCheckFailedFormat, r.failedSectors, r.sectors, reported, r.firstFailed);
  }
  if (at < 0 || static_cast<uint32_t>(at) >= outSize) return;
  if (r.writeFailedSectors != 0) {
    at += std::snprintf(out + at, outSize - at, kCheckWriteErrorFormat, r.firstWriteFailed,
                        static_cast<unsigned long>(r.writeError), r.writeFailedSectors);
  }
  if (at < 0 || static_cast<uint32_t>(at) >= outSize) return;
  if (r.readFailedSectors != 0) {
    std::snprintf(out + at, outSize - at, kCheckReadErrorFormat, r.firstReadFailed,
                  static_cast<unsigned long>(r.readError), r.readFailedSectors);
  }
}

// Writes and reads back every sector; the disk is closed before the result box.
void CheckCapacity() {
  DiskDevice device;
  if (!OpenToolDisk(&device, GENERIC_WRITE)) {
    AskUser(mainWindow, kOpenForWritingFailed, kDiskErrorCaption, MB_ICONERROR);
    return;
  }
  if (!HoldToolDisk(&device)) return;
  CapacityResult result;
  result.sectors = DiskDeviceSectors(&device);
  if (result.sectors == 0) {
    CloseToolDisk(&device);
    WriteOutcomeWord(kWordFailed);
    AskUser(mainWindow, kCheckSizeUnknown, kCheckCaption, MB_ICONERROR);
    return;
  }
  const uint64_t key = NewCheckKey();
  bool finished = RunCapacityWritePass(&device, key, &result);
  if (finished && !device.legacy) {
    // As a verification: the write's handle goes, the disk is opened again
    // unbuffered for reading, and the volumes stay held until the pass ends.
    const bool volumesHeld = device.volumesHeld;
    device.volumesHeld = false;
    CloseToolDisk(&device);
    const bool readable = OpenToolDisk(&device, GENERIC_READ);
    device.volumesHeld = volumesHeld;
    if (!readable) {
      result.readError = GetLastError();
      result.readFailedSectors = result.sectors;
      result.firstReadFailed = 0;
      result.failedSectors = result.sectors;
      result.firstFailed = 0;
      finished = false;
    }
  }
  if (finished) RunCapacityReadPass(&device, key, &result);
  CloseToolDisk(&device);
  jobState.checkPass.store(0);
  const bool good = !result.cancelled && result.failedSectors == 0;
  jobState.jobEnd.store(result.cancelled ? kJobEndCancelled : good ? kJobEndCompleted : kJobEndFailed);
  WriteOutcomeWord(result.cancelled ? kWordCancelled : good ? kWordCompleted : kWordFailed);
  RequestProgressRedraw();
  char text[kCheckResultTextBytes];
  FormatCheckResult(result, text, sizeof(text));
  const bool offer = !device.legacy && RestoreOffered() && NamesPhysicalDisk(jobState.targetDesignator.load());
  const size_t used = std::strlen(text);
  std::snprintf(text + used, sizeof(text) - used, "%s", offer ? kCheckOfferRestore : kCheckRestoreHint);
  const UINT icon = good ? MB_ICONINFORMATION : MB_ICONWARNING;
  if (AskUser(mainWindow, text, kCheckCaption, (offer ? MB_YESNO : MB_OK) | icon) == IDYES && offer) {
    RestoreDisk();
  }
}

}  // namespace

bool RestoreOffered() {
  if (jobState.platformClass == kPlatformLegacy) return false;
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

void RunDiskToolJob() {
  if (jobState.diskTool.load() == kToolRestoreDrive) {
    // Start lets only a physical disk on a system that can restore get here.
    if (RestoreOffered() && NamesPhysicalDisk(jobState.targetDesignator.load())) RestoreDisk();
    return;
  }
  CheckCapacity();
}
