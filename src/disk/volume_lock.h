// The volumes of a physical disk that is written whole: every volume that
// lies on it (with or without a drive letter, mounted in a folder or not),
// locked, dismounted and held until the write ends. Windows refuses a disk
// handle's writes into a mounted volume, and a volume left mounted would keep
// its old file system in the cache.
#pragma once

#include "disk/volume_set.h"
#include "win_api.h"

#include <cstdint>

constexpr DWORD kVolumeLockWaitMs = 5000;  // how long a volume in use is asked again: programs let go slowly
constexpr DWORD kVolumeLockRetryMs = 250;  // the pause between two asks

struct DiskVolumeLocks {
  HANDLE volumes[kMaxVolumes];  // open, locked and dismounted volumes of the disk
  uint32_t count;               // how many are held
  char refusedLetter;           // the volume that could not be locked (its first letter, '?' for one
                                // without a letter); 0 when none was refused
};
extern DiskVolumeLocks diskVolumeLocks;  // the volumes of the disk being written; the worker thread

// Locks every volume on the disk, asking each again for kVolumeLockWaitMs,
// then dismounts them all and holds them in diskVolumeLocks. When one cannot
// be locked, nothing is held or dismounted, refusedLetter names it and the
// result is false.
bool LockDiskVolumes(uint32_t diskNumber);
// Unlocks and closes every held volume; nothing to do when none is held.
void ReleaseDiskVolumes();
// FSCTL_DISMOUNT_VOLUME: the file system is read afresh when next used.
bool DismountVolume(HANDLE volume);
