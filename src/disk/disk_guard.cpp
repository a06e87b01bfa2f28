// Telling which volume a path lies on and whether a disk holds it.
#include "disk/disk_guard.h"

#include "disk/drive_naming.h"
#include "disk/volume_set.h"
#include "win_api.h"

namespace {

constexpr uint32_t kFullPathChars = MAX_PATH + 8;  // a full name; longer ones are not taken apart

// "X:" at the start of a full path, after a "\\?\" prefix if there is one.
template <typename Char>
char LetterOfFullPath(const Char* full, DWORD length) {
  if (length >= 4 && full[0] == '\\' && full[1] == '\\' && full[2] == '?' && full[3] == '\\') {
    full += 4;
    length -= 4;
  }
  if (length < 2 || full[1] != ':') return 0;
  const Char c = full[0];
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c);
  return 0;
}

}  // namespace

char PathDriveLetter(const char* path) {
  char full[kFullPathChars];
  const DWORD length = GetFullPathNameA(path, kFullPathChars, full, nullptr);
  if (length == 0 || length >= kFullPathChars) return 0;
  return LetterOfFullPath(full, length);
}

char PathDriveLetter(const wchar_t* path) {
  wchar_t full[kFullPathChars];
  const DWORD length = GetFullPathNameW(path, kFullPathChars, full, nullptr);
  if (length == 0 || length >= kFullPathChars) return 0;
  return LetterOfFullPath(full, length);
}

char WindowsDriveLetter() {
  char directory[kFullPathChars];
  const UINT length = GetWindowsDirectoryA(directory, kFullPathChars);
  if (length == 0 || length >= kFullPathChars) return 0;
  return LetterOfFullPath(directory, length);
}

bool DesignatorHoldsVolume(char designator, char letter, bool legacyFamily) {
  if (letter == 0 || designator == 0) return false;
  if (legacyFamily) return LegacyDriveNumber(designator) == LegacyDriveNumber(letter);
  if (NamesPhysicalDisk(designator)) {
    const VolumeRecord* volume = FindVolumeByLetter(listedVolumes, letter);
    return volume != nullptr && VolumeLiesOnDisk(*volume, static_cast<uint32_t>(designator - '0'));
  }
  return designator == letter;
}
