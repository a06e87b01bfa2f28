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
constexpr DWORD kVolumeLockCancelPollMs = 25;  // how often a pause looks whether the job was cancelled

// How asking for a volume (a drive letter, or every volume of a disk) ended.
enum class VolumeHold {
  Held,       // locked and dismounted
  InUse,      // still refused after kVolumeLockWaitMs, or its dismount failed: nothing may be written
  Cancelled,  // the job was cancelled while it waited: nothing may be written
};
// Tells the waits whether to give up; may be null (never).
typedef bool (*StopAsking)();

struct DiskVolumeLocks {
  HANDLE volumes[kMaxVolumes];  // open, locked and dismounted volumes of the disk
  uint32_t count;               // how many are held
  char refusedLetter;           // the volume that could not be locked (its first letter, '?' for one
                                // without a letter); 0 when none was refused
};
extern DiskVolumeLocks diskVolumeLocks;  // the volumes of the disk being written; the worker thread

// Locks every volume on the disk, asking each again for kVolumeLockWaitMs,
// then dismounts them all and holds them in diskVolumeLocks. When one cannot
// be locked or dismounted, nothing is held, refusedLetter names it and the
// result is InUse; `stop` answering true ends the waits with Cancelled.
VolumeHold LockDiskVolumes(uint32_t diskNumber, StopAsking stop = nullptr);
// Locks the open volume handle `volume`, asking again for kVolumeLockWaitMs
// (`stop` ends the waits), and dismounts it. InUse leaves it unlocked.
VolumeHold LockAndDismount(HANDLE volume, StopAsking stop = nullptr);
// Unlocks and closes every held volume; nothing to do when none is held.
void ReleaseDiskVolumes();
// FSCTL_DISMOUNT_VOLUME: the file system is read afresh when next used.
bool DismountVolume(HANDLE volume);
// FSCTL_ALLOW_EXTENDED_DASD_IO: reads and writes through a volume handle
// reach the volume's last sector, not only the file system's end. Disk
// handles and systems before 2000 refuse it, which changes nothing for them.
void AllowWholeVolume(HANDLE volume);
