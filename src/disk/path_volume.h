// Which volume really holds a file, whatever form its path takes: a drive
// letter, a "\\?\" path, a volume name, a subst drive, a folder mount point, a
// share of this computer or, once the file is open, a junction. Start judges
// its protected-disk refusals on the answer. NT family.
#pragma once

#include "disk/volume_set.h"
#include "win_api.h"

#include <cstdint>

constexpr uint32_t kMountPointChars = MAX_PATH + 8;

struct PathVolume {
  const VolumeRecord* volume;        // in the set resolved against; null when not found there
  char letter;                       // a drive letter of it, 0 when none is known
  WCHAR mountPoint[kMountPointChars];  // where it is mounted as the path reached it ("C:\mnt\data\"); may be empty
  bool unresolvedLocalShare;         // a share of this computer that could not be traced to a volume
};

// From the path alone: made full, a share of this computer ("\\localhost\E$\")
// taken to its drive, subst drives followed (QueryDosDeviceW), then
// GetVolumePathNameW and GetVolumeNameForVolumeMountPointW (Windows 2000 and
// later; before that the drive letter). A path of another computer lies on no
// local volume.
void ResolvePathVolume(const WCHAR* path, const VolumeSet& set, PathVolume* out);
// From an open file (Vista and later: GetFinalPathNameByHandleW with
// VOLUME_NAME_GUID), which also sees through junctions; true when it found
// a volume of the set, which then replaces what `out` held.
bool ResolveHandleVolume(HANDLE file, const VolumeSet& set, PathVolume* out);
// Whether writing the disk `designator` names (NT family) would overwrite that volume.
bool DesignatorHoldsPathVolume(char designator, const PathVolume& where);
// "drive E:", else "the volume mounted at C:\mnt\data\", else "a volume without a drive letter" (ANSI).
void NamePathVolume(const PathVolume& where, char* out, uint32_t outSize);

// A file name that is a device rather than a file: the "\\.\" and
// "\\?\GLOBALROOT" namespaces (any "\\?\" path but a drive, a volume name or
// UNC), and the reserved names CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9,
// CONIN$ and CONOUT$, with or without an extension or a folder.
bool NamesDevice(const char* path);
bool NamesDevice(const WCHAR* path);
