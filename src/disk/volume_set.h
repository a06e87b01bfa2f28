// Every volume of the system with the disks it lies on: found through the
// volume names (Windows 2000 and later) or, on older NT, through the drive
// letters. One set is found per refresh of the drive list and serves its
// labels and Start's refusals; the whole-disk lock finds its own when it runs.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kMaxVolumes = 64;
constexpr uint32_t kVolumeNameChars = 64;  // "\\?\Volume{GUID}\" is 49 characters
constexpr uint32_t kVolumeLetters = 26;

struct VolumeRecord {
  WCHAR name[kVolumeNameChars];   // "\\?\Volume{...}\", or "\\.\X:" where volumes have no names
  char letters[kVolumeLetters + 1];  // its drive letters in order, upper case ("EF")
  uint64_t disks;                 // bit n: an extent lies on physical disk n (disks 0..63)
  bool extentsKnown;              // Windows answered its extents
};

struct VolumeSet {
  VolumeRecord volumes[kMaxVolumes];
  uint32_t count;
  bool anyExtentsKnown;  // false where Windows answers no extents at all (NT 4.0): no disk can be cleared
};
extern VolumeSet listedVolumes;  // the set of the last drive list refresh or Start; main thread

// True where volumes exist and none answered its extents (NT 4.0): no disk
// can then be said to be free of Windows.
bool VolumeDisksUnknown(const VolumeSet& set);
// Fills `set` afresh. NT family only.
void FindVolumes(VolumeSet* set);
// The volume whose name is `name` (with or without its trailing backslash), or null.
const VolumeRecord* FindVolumeByName(const VolumeSet& set, const WCHAR* name);
// The volume that has drive `letter`, or null.
const VolumeRecord* FindVolumeByLetter(const VolumeSet& set, char letter);
bool VolumeLiesOnDisk(const VolumeRecord& volume, uint32_t diskNumber);
// The drive letters of every volume on the disk, each followed by a space
// ("E: F: "), into out; empty when none.
void DiskLettersText(const VolumeSet& set, uint32_t diskNumber, char* out, uint32_t outSize);
// The path CreateFileW opens the volume by: its name without the trailing backslash.
void VolumeDevicePath(const VolumeRecord& volume, WCHAR* out, uint32_t outChars);
