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

bool Stopped(StopAsking stop) { return stop != nullptr && stop(); }

// A dismount refused because the file system will not let go. A device that
// has no file system to dismount (Wine's file-backed drives answer so) is
// not in use.
bool DismountRefused(HANDLE volume) {
  if (DismountVolume(volume)) return false;
  const DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_BUSY;
}

// Explorer, indexers and virus scanners hold a volume briefly after it
// appears or changes, so a refusal is asked again for a few seconds. The
// pauses are cut into short ones so a cancel is heard at once.
VolumeHold LockWithRetries(HANDLE volume, StopAsking stop) {
  for (DWORD waited = 0;;) {
    if (Stopped(stop)) return VolumeHold::Cancelled;
    if (LockDeviceVolume(volume)) return VolumeHold::Held;
    if (waited >= kVolumeLockWaitMs) return VolumeHold::InUse;
    for (DWORD paused = 0; paused < kVolumeLockRetryMs; paused += kVolumeLockCancelPollMs) {
      if (Stopped(stop)) return VolumeHold::Cancelled;
      Sleep(kVolumeLockCancelPollMs);
    }
    waited += kVolumeLockRetryMs;
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

VolumeHold LockDiskVolumes(uint32_t diskNumber, StopAsking stop) {
  ReleaseDiskVolumes();
  diskVolumeLocks.refusedLetter = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (!VolumeOnDisk(letter, diskNumber)) continue;
    // A volume of the disk that cannot be opened for locking (another program
    // holds it without sharing) is in use as much as one that refuses its lock.
    HANDLE volume = OpenVolume(letter, GENERIC_READ | GENERIC_WRITE);
    const VolumeHold held = volume == INVALID_HANDLE_VALUE ? VolumeHold::InUse : LockWithRetries(volume, stop);
    if (held != VolumeHold::Held) {
      if (volume != INVALID_HANDLE_VALUE) CloseHandle(volume);
      ReleaseDiskVolumes();
      if (held == VolumeHold::InUse) diskVolumeLocks.refusedLetter = letter;
      return held;
    }
    diskVolumeLocks.volumes[diskVolumeLocks.count] = volume;
    diskVolumeLocks.letters[diskVolumeLocks.count] = letter;
    diskVolumeLocks.count++;
  }
  // Only once every volume is held: a refusal must leave them all as they
  // were. A volume whose file system will not let go is in use too.
  for (uint32_t i = 0; i < diskVolumeLocks.count; ++i) {
    if (DismountRefused(diskVolumeLocks.volumes[i])) {
      const char letter = diskVolumeLocks.letters[i];
      ReleaseDiskVolumes();
      diskVolumeLocks.refusedLetter = letter;
      return VolumeHold::InUse;
    }
  }
  return VolumeHold::Held;
}

VolumeHold LockAndDismount(HANDLE volume, StopAsking stop) {
  const VolumeHold held = LockWithRetries(volume, stop);
  if (held != VolumeHold::Held) return held;
  if (!DismountRefused(volume)) return VolumeHold::Held;
  UnlockDeviceVolume(volume);
  return VolumeHold::InUse;
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

void AllowWholeVolume(HANDLE volume) {
  DWORD returned = 0;
  DeviceIoControl(volume, FSCTL_ALLOW_EXTENDED_DASD_IO, nullptr, 0, nullptr, 0, &returned, nullptr);
}
