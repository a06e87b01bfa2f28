// The rules that turn the drive field's text into a device path or a legacy
// drive number.
#include "disk/drive_naming.h"

#include <cstdio>
#include <cstring>

char DriveDesignatorFromText(const char* driveText) {
  if (driveText == nullptr) return 0;
  size_t length = std::strlen(driveText);
  const char* open = std::strchr(driveText, '(');
  if (open != nullptr) {
    size_t cut = static_cast<size_t>(open - driveText);
    // The byte before "(" is the space between a drive's name and its size label.
    length = cut == 0 ? 0 : cut - 1;
  }
  while (length > 0 && driveText[length - 1] == ' ') --length;
  if (length == 0) return 0;
  size_t at = length - 1;
  if (driveText[at] == ':') {
    if (at == 0) return 0;
    --at;
  }
  // A character glued to others ("10", "XE:") is part of a longer name: taking
  // it would pick a disk the user never named.
  if (at > 0 && driveText[at - 1] != ' ') return 0;
  char designator = driveText[at];
  if (designator >= 'a' && designator <= 'z') designator = static_cast<char>(designator - 'a' + 'A');
  const bool letter = designator >= 'A' && designator <= 'Z';
  return letter || NamesPhysicalDisk(designator) ? designator : 0;
}

bool NamesPhysicalDisk(char designator) { return designator >= '0' && designator <= '9'; }

void FormatDevicePath(char designator, char* out, uint32_t outSize) {
  if (out == nullptr || outSize == 0) return;
  if (static_cast<unsigned char>(designator) <= static_cast<unsigned char>('9')) {
    std::snprintf(out, outSize, "\\\\.\\PHYSICALDRIVE%c", designator);
  } else {
    std::snprintf(out, outSize, "\\\\.\\%c:", designator);
  }
}

uint8_t LegacyDriveNumber(char designator) {
  uint8_t code = static_cast<uint8_t>(designator);
  if (code < static_cast<uint8_t>(':')) code = static_cast<uint8_t>(code + 19);
  return static_cast<uint8_t>(code - 64);
}
