// Finding, locking and dismounting the volumes of a physical disk.
#include "disk/volume_lock.h"

#include "disk/drive_naming.h"
#include "disk/raw_device.h"

#include <cstddef>
#include <cstring>

DiskVolumeLocks diskVolumeLocks;  // the held volumes of the disk being written; the worker thread

namespace {

// A volume may span several disks; one spread over more than this many is
// matched on its first ones only.
constexpr uint32_t kMaxExtents = 8;
constexpr size_t kExtentsBytes = sizeof(VOLUME_DISK_EXTENTS) + (kMaxExtents - 1) * sizeof(DISK_EXTENT);

union ExtentsAnswer {
  VOLUME_DISK_EXTENTS extents;
  uint8_t bytes[kExtentsBytes];
};

// The volume of a local disk behind `letter`, or INVALID_HANDLE_VALUE. Network
// shares, CD drives and RAM disks are not asked: they lie on no physical disk.
HANDLE OpenVolume(char letter, DWORD access) {
  const char root[4] = {letter, ':', '\\', '\0'};
  const UINT type = GetDriveTypeA(root);
  if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) return INVALID_HANDLE_VALUE;
  char path[kDevicePathBytes];
  FormatDevicePath(letter, path, sizeof(path));
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

bool HandleOnDisk(HANDLE volume, uint32_t diskNumber) {
  ExtentsAnswer extentsBuffer;  // on the stack: Start's thread and the worker both ask
  DWORD returned = 0;
  if (!DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, extentsBuffer.bytes,
                       sizeof(extentsBuffer.bytes), &returned, nullptr)) {
    return false;
  }
  uint32_t count = extentsBuffer.extents.NumberOfDiskExtents;
  if (count > kMaxExtents) count = kMaxExtents;
  for (uint32_t i = 0; i < count; ++i) {
    DISK_EXTENT extent;
    std::memcpy(&extent, extentsBuffer.bytes + offsetof(VOLUME_DISK_EXTENTS, Extents) + i * sizeof(DISK_EXTENT),
                sizeof(extent));
    if (extent.DiskNumber == diskNumber) return true;
  }
  return false;
}

// Explorer, indexers and virus scanners hold a volume briefly after it
// appears or changes, so a refusal is asked again for a few seconds.
bool LockWithRetries(HANDLE volume) {
  for (DWORD waited = 0;; waited += kVolumeLockRetryMs) {
    if (LockDeviceVolume(volume)) return true;
    if (waited >= kVolumeLockWaitMs) return false;
    Sleep(kVolumeLockRetryMs);
  }
}

}  // namespace

bool VolumeOnDisk(char letter, uint32_t diskNumber) {
  // Only a question: no access is needed to ask for the extents.
  HANDLE volume = OpenVolume(letter, 0);
  if (volume == INVALID_HANDLE_VALUE) return false;
  const bool onDisk = HandleOnDisk(volume, diskNumber);
  CloseHandle(volume);
  return onDisk;
}

bool LockDiskVolumes(uint32_t diskNumber) {
  ReleaseDiskVolumes();
  diskVolumeLocks.refusedLetter = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (!VolumeOnDisk(letter, diskNumber)) continue;
    // A volume of the disk that cannot be opened for locking (another program
    // holds it without sharing) is in use as much as one that refuses its lock.
    HANDLE volume = OpenVolume(letter, GENERIC_READ | GENERIC_WRITE);
    if (volume == INVALID_HANDLE_VALUE || !LockWithRetries(volume)) {
      if (volume != INVALID_HANDLE_VALUE) CloseHandle(volume);
      ReleaseDiskVolumes();
      diskVolumeLocks.refusedLetter = letter;
      return false;
    }
    diskVolumeLocks.volumes[diskVolumeLocks.count] = volume;
    diskVolumeLocks.letters[diskVolumeLocks.count] = letter;
    diskVolumeLocks.count++;
  }
  // Only once every volume is held: a refusal must leave them all as they were.
  for (uint32_t i = 0; i < diskVolumeLocks.count; ++i) DismountVolume(diskVolumeLocks.volumes[i]);
  return true;
}

void ReleaseDiskVolumes() {
  for (uint32_t i = 0; i < diskVolumeLocks.count; ++i) {
    UnlockDeviceVolume(diskVolumeLocks.volumes[i]);
    CloseHandle(diskVolumeLocks.volumes[i]);
    diskVolumeLocks.volumes[i] = INVALID_HANDLE_VALUE;
  }
  diskVolumeLocks.count = 0;
}

bool DismountVolume(HANDLE volume) {
  DWORD returned = 0;
  return DeviceIoControl(volume, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr) != FALSE;
}
