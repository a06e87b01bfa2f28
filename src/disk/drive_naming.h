// How a disk is named: the designator taken from the drive field's text, and
// the device path (NT family) or drive number (legacy family) made from it.
#pragma once

#include <cstdint>

// Cuts the drive text at its first "(" (dropping the byte before it, the space
// before a size label) and at trailing spaces, then takes the designator: the
// last character, or the one before a final ":". It must stand alone (first in
// the text or after a space) and be a letter or a digit; a letter comes back
// in upper case. Returns 0 for anything else ("10", "XE:", "(...)", "").
char DriveDesignatorFromText(const char* driveText);
// Digits name whole physical disks, letters volumes.
bool NamesPhysicalDisk(char designator);
// "\\.\PHYSICALDRIVE%c" for a code up to '9', "\\.\%c:" otherwise.
void FormatDevicePath(char designator, char* out, uint32_t outSize);
// 8-bit rule: codes below ':' get 19 added, then 64 is subtracted (A=1, '0'=3).
uint8_t LegacyDriveNumber(char designator);
