// Which disk holds what: the drive letter of a path and of the Windows
// directory, and whether the disk a designator names holds a given volume.
// Start asks these before anything is opened, so that Windows itself and the
// image being copied are never overwritten.
#pragma once

#include <cstdint>

// The upper-case drive letter of a file path after it is made full ("E:\x",
// "\\?\E:\x", a relative path on the current drive); 0 when it names no drive
// letter (a network path) or cannot be made full.
char PathDriveLetter(const char* path);
char PathDriveLetter(const wchar_t* path);
// The drive letter of the Windows directory; 0 when it cannot be had.
char WindowsDriveLetter();
// Whether writing the disk `designator` names would overwrite the volume of
// drive `letter`: the same letter, or (NT family) a physical disk on which
// that volume lies (by the volumes of listedVolumes). The legacy family compares drive numbers, so a typed
// digit is the drive it stands for. A letter of 0 is held by no disk.
bool DesignatorHoldsVolume(char designator, char letter, bool legacyFamily);
