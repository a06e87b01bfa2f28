// Finding, locking and dismounting the volumes of a physical disk.
#include "disk/volume_lock.h"

#include "disk/raw_device.h"

DiskVolumeLocks diskVolumeLocks;  // the held volumes of the disk being written; the worker thread

namespace {

VolumeSet diskVolumes;  // the volumes found when the lock is taken; the worker thread

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

VolumeHold LockDiskVolumes(uint32_t diskNumber, StopAsking stop) {
  ReleaseDiskVolumes();
  diskVolumeLocks.refusedLetter = 0;
  // Found afresh: the list's set may be older than the disk now in place.
  FindVolumes(&diskVolumes);
  char lockedLetters[kMaxVolumes];  // the letter the box names, should a dismount fail
  for (uint32_t i = 0; i < diskVolumes.count; ++i) {
    const VolumeRecord& record = diskVolumes.volumes[i];
    if (!VolumeLiesOnDisk(record, diskNumber)) continue;
    WCHAR path[kVolumeNameChars];
    VolumeDevicePath(record, path, kVolumeNameChars);
    // A volume of the disk that cannot be opened for locking (another program
    // holds it without sharing) is in use as much as one that refuses its lock.
    HANDLE volume = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    const VolumeHold held = volume == INVALID_HANDLE_VALUE ? VolumeHold::InUse : LockWithRetries(volume, stop);
    if (held != VolumeHold::Held) {
      if (volume != INVALID_HANDLE_VALUE) CloseHandle(volume);
      ReleaseDiskVolumes();
      if (held == VolumeHold::InUse) diskVolumeLocks.refusedLetter = record.letters[0] != '\0' ? record.letters[0] : '?';
      return held;
    }
    lockedLetters[diskVolumeLocks.count] = record.letters[0] != '\0' ? record.letters[0] : '?';
    diskVolumeLocks.volumes[diskVolumeLocks.count++] = volume;
  }
  // Only once every volume is held: a refusal must leave them all as they
  // were. A volume whose file system will not let go is in use too.
  for (uint32_t i = 0; i < diskVolumeLocks.count; ++i) {
    if (DismountRefused(diskVolumeLocks.volumes[i])) {
      const char letter = lockedLetters[i];
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
