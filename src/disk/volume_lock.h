// The volumes of a physical disk that is written whole: found through their
// drive letters, locked, dismounted and held until the write ends. Windows
// refuses a disk handle's writes into a mounted volume, and a volume left
// mounted would keep its old file system in the cache.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kMaxDiskVolumes = 26;   // one per drive letter
constexpr DWORD kVolumeLockWaitMs = 5000;  // how long a volume in use is asked again: programs let go slowly
constexpr DWORD kVolumeLockRetryMs = 250;  // the pause between two asks

struct DiskVolumeLocks {
  HANDLE volumes[kMaxDiskVolumes];  // open, locked and dismounted volumes of the disk
  char letters[kMaxDiskVolumes];    // their drive letters, in the same order
  uint32_t count;                   // how many are held
  char refusedLetter;               // the volume that could not be locked; 0 when none was refused
};
extern DiskVolumeLocks diskVolumeLocks;  // the volumes of the disk being written; the worker thread

// Whether the volume of drive `letter` lies (wholly or partly) on physical
// disk `diskNumber`. A volume whose extents cannot be asked (older NT, Wine)
// lies on none.
bool VolumeOnDisk(char letter, uint32_t diskNumber);
// Locks every volume on the disk, asking each again for kVolumeLockWaitMs,
// then dismounts them all and holds them in diskVolumeLocks. When one cannot
// be locked, nothing is held or dismounted, refusedLetter names it and the
// result is false.
bool LockDiskVolumes(uint32_t diskNumber);
// Unlocks and closes every held volume; nothing to do when none is held.
void ReleaseDiskVolumes();
// FSCTL_DISMOUNT_VOLUME: the file system is read afresh when next used.
bool DismountVolume(HANDLE volume);
