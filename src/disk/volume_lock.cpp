// Finding, locking and dismounting the volumes of a physical disk.
#include "disk/volume_lock.h"

#include "disk/raw_device.h"

DiskVolumeLocks diskVolumeLocks;  // the held volumes of the disk being written; the worker thread

namespace {

VolumeSet diskVolumes;  // the volumes found when the lock is taken; the worker thread

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

bool LockDiskVolumes(uint32_t diskNumber) {
  ReleaseDiskVolumes();
  diskVolumeLocks.refusedLetter = 0;
  // Found afresh: the list's set may be older than the disk now in place.
  FindVolumes(&diskVolumes);
  for (uint32_t i = 0; i < diskVolumes.count; ++i) {
    const VolumeRecord& record = diskVolumes.volumes[i];
    if (!VolumeLiesOnDisk(record, diskNumber)) continue;
    WCHAR path[kVolumeNameChars];
    VolumeDevicePath(record, path, kVolumeNameChars);
    // A volume of the disk that cannot be opened for locking (another program
    // holds it without sharing) is in use as much as one that refuses its lock.
    HANDLE volume = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE || !LockWithRetries(volume)) {
      if (volume != INVALID_HANDLE_VALUE) CloseHandle(volume);
      ReleaseDiskVolumes();
      diskVolumeLocks.refusedLetter = record.letters[0] != '\0' ? record.letters[0] : '?';
      return false;
    }
    diskVolumeLocks.volumes[diskVolumeLocks.count++] = volume;
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
