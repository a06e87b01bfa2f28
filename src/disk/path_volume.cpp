// Tracing a path or an open file to its volume, and telling device names.
#include "disk/path_volume.h"

#include "disk/drive_naming.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <type_traits>

namespace {

typedef BOOL(WINAPI* VolumePathNameFunction)(LPCWSTR, LPWSTR, DWORD);
typedef BOOL(WINAPI* VolumeNameForMountPointFunction)(LPCWSTR, LPWSTR, DWORD);
typedef DWORD(WINAPI* QueryDosDeviceFunction)(LPCWSTR, LPWSTR, DWORD);
typedef DWORD(WINAPI* FinalPathNameFunction)(HANDLE, LPWSTR, DWORD, DWORD);
typedef BOOL(WINAPI* ComputerNameFunction)(LPWSTR, LPDWORD);

constexpr DWORD kVolumeNameGuid = 0x1;   // VOLUME_NAME_GUID
constexpr uint32_t kSubstDepth = 4;      // a subst drive may name another; deeper chains are not followed
constexpr uint32_t kComputerNameChars = 64;

WCHAR work[kMountPointChars];    // the path being taken apart; main thread
WCHAR target[kMountPointChars];  // a subst drive's target; main thread

template <typename Char>
Char Upper(Char c) {
  return c >= 'a' && c <= 'z' ? static_cast<Char>(c - 'a' + 'A') : c;
}
template <typename Char>
bool Slash(Char c) { return c == '\\' || c == '/'; }

// Whether `text` starts with `prefix` (ASCII, any case, '/' for '\').
template <typename Char>
bool StartsWith(const Char* text, const char* prefix) {
  for (size_t i = 0; prefix[i] != '\0'; ++i) {
    if (text[i] == 0) return false;
    if (prefix[i] == '\\' ? !Slash(text[i]) : Upper(text[i]) != static_cast<Char>(Upper(prefix[i]))) return false;
  }
  return true;
}

template <typename Char>
bool DriveAt(const Char* text) {
  const Char c = Upper(text[0]);
  return c >= 'A' && c <= 'Z' && text[1] == ':';
}

template <typename Char>
bool ReservedName(const Char* name, size_t length) {
  static const char* const kNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  // The name before its first dot or colon, without the spaces Windows drops.
  size_t end = 0;
  while (end < length && name[end] != '.' && name[end] != ':') ++end;
  while (end > 0 && name[end - 1] == ' ') --end;
  char upper[8];
  if (end == 0 || end >= sizeof(upper)) return false;
  for (size_t i = 0; i < end; ++i) {
    const auto unit = static_cast<std::make_unsigned_t<Char>>(name[i]);
    if (unit >= 0x80) return false;
    upper[i] = static_cast<char>(Upper(static_cast<char>(unit)));
  }
  upper[end] = '\0';
  for (const char* reserved : kNames) {
    if (std::strcmp(upper, reserved) == 0) return true;
  }
  const bool numbered = end == 4 && upper[3] >= '1' && upper[3] <= '9';
  return numbered && (std::strncmp(upper, "COM", 3) == 0 || std::strncmp(upper, "LPT", 3) == 0);
}

template <typename Char>
bool DeviceName(const Char* path) {
  if (path == nullptr) return false;
  if (StartsWith(path, "\\\\.\\") || StartsWith(path, "\\??\\")) return true;
  if (StartsWith(path, "\\\\?\\")) {
    // Only these name files; "\\?\GLOBALROOT\...", "\\?\PhysicalDrive1" and the like are devices.
    const Char* rest = path + 4;
    if (!(DriveAt(rest) && Slash(rest[2])) && !StartsWith(rest, "Volume{") && !StartsWith(rest, "UNC\\")) return true;
  }
  size_t length = 0;
  while (path[length] != 0) ++length;
  size_t start = length;
  while (start > 0 && !Slash(path[start - 1])) --start;
  const Char* name = path + start;
  size_t nameLength = length - start;
  if (start == 0 && DriveAt(name)) {  // "C:nul"
    name += 2;
    nameLength -= 2;
  }
  return ReservedName(name, nameLength);
}

size_t Length(const WCHAR* text) { return std::wcslen(text); }

void Copy(WCHAR* out, const WCHAR* in, uint32_t outChars) {
  size_t length = Length(in);
  if (length >= outChars) length = outChars - 1;
  std::wmemcpy(out, in, length);
  out[length] = L'\0';
}

// `head` then `tail` into out (kMountPointChars); false when they do not fit.
bool Join(WCHAR* out, const WCHAR* head, const WCHAR* tail) {
  const size_t a = Length(head), b = Length(tail);
  if (a + b >= kMountPointChars) return false;
  std::wmemcpy(out, head, a);
  std::wmemcpy(out + a, tail, b + 1);
  return true;
}

bool SameTextNoCase(const WCHAR* a, size_t aLength, const WCHAR* b) {
  if (Length(b) != aLength) return false;
  for (size_t i = 0; i < aLength; ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

// Whether the host part of a UNC path names this computer.
bool NamesThisComputer(const WCHAR* host, size_t length) {
  static const WCHAR kLocalhost[] = L"localhost";
  static const WCHAR kLoopback[] = L"127.0.0.1";
  static const WCHAR kLoopbackSix[] = L"::1";
  if (SameTextNoCase(host, length, kLocalhost) || SameTextNoCase(host, length, kLoopback) ||
      SameTextNoCase(host, length, kLoopbackSix) || (length == 1 && host[0] == L'.')) {
    return true;
  }
  const auto computerName = FindFunction<ComputerNameFunction>(GetModuleHandleA("KERNEL32.DLL"), "GetComputerNameW");
  WCHAR name[kComputerNameChars];
  DWORD size = kComputerNameChars;
  return computerName != nullptr && computerName(name, &size) && SameTextNoCase(host, length, name);
}

// A share of this computer named "X$" is drive X's root; "\\host\E$\a" becomes "E:\a".
// False when the path is UNC and not so traced (`out->unresolvedLocalShare`
// says whether it named this computer).
bool TakeUncToDrive(PathVolume* out) {
  if (!(Slash(work[0]) && Slash(work[1]))) return true;
  const WCHAR* host = work + 2;
  size_t hostLength = 0;
  while (host[hostLength] != 0 && !Slash(host[hostLength])) ++hostLength;
  if (!NamesThisComputer(host, hostLength)) return false;  // another computer: no local volume
  const WCHAR* share = host + hostLength + (host[hostLength] != 0 ? 1 : 0);
  if (DriveAt(share) || !(Upper(share[0]) >= L'A' && Upper(share[0]) <= L'Z' && share[1] == L'$' &&
                          (share[2] == 0 || Slash(share[2])))) {
    out->unresolvedLocalShare = true;
    return false;
  }
  WCHAR drive[kMountPointChars];
  const WCHAR head[4] = {Upper(share[0]), L':', L'\\', L'\0'};
  Join(drive, head, share[2] == 0 ? L"" : share + 3);
  Copy(work, drive, kMountPointChars);
  return true;
}

// Follows subst drives: "S:\x" where S: is "\??\E:\images" becomes "E:\images\x".
void FollowSubst() {
  const auto query = FindFunction<QueryDosDeviceFunction>(GetModuleHandleA("KERNEL32.DLL"), "QueryDosDeviceW");
  if (query == nullptr) return;
  for (uint32_t depth = 0; depth < kSubstDepth && DriveAt(work); ++depth) {
    const WCHAR drive[3] = {work[0], L':', L'\0'};
    if (query(drive, target, kMountPointChars) == 0 || !StartsWith(target, "\\??\\") || !DriveAt(target + 4)) return;
    WCHAR joined[kMountPointChars];
    const WCHAR* rest = work + 2;
    while (Slash(rest[0])) ++rest;
    WCHAR* base = target + 4;
    const size_t baseLength = Length(base);
    if (baseLength + 1 < kMountPointChars - 4 && !Slash(base[baseLength - 1])) {
      base[baseLength] = L'\\';
      base[baseLength + 1] = L'\0';
    }
    if (!Join(joined, base, rest)) return;
    Copy(work, joined, kMountPointChars);
  }
}

void TakeVolumeName(const WCHAR* name, const VolumeSet& set, PathVolume* out) {
  out->volume = FindVolumeByName(set, name);
  if (out->volume != nullptr && out->volume->letters[0] != '\0' && out->letter == 0) {
    out->letter = out->volume->letters[0];
  }
}

// The length of "\\?\Volume{...}\" at the start of `path`, or 0.
size_t VolumeNameLength(const WCHAR* path) {
  if (!StartsWith(path, "\\\\?\\Volume{")) return 0;
  const WCHAR* close = path;
  while (*close != 0 && *close != L'}') ++close;  // no wcschr: the legacy family's runtime lacks it
  if (*close == 0) return 0;
  return static_cast<size_t>(close - path) + (close[1] == L'\\' ? 2 : 1);
}

}  // namespace

void ResolvePathVolume(const WCHAR* path, const VolumeSet& set, PathVolume* out) {
  std::memset(out, 0, sizeof(*out));
  const DWORD length = GetFullPathNameW(path, kMountPointChars, work, nullptr);
  if (length == 0 || length >= kMountPointChars) return;
  if (StartsWith(work, "\\\\?\\UNC\\")) {
    std::wmemmove(work + 2, work + 8, Length(work + 8) + 1);  // "\\?\UNC\host" is "\\host"
  } else if (StartsWith(work, "\\\\?\\") && DriveAt(work + 4)) {
    std::wmemmove(work, work + 4, Length(work + 4) + 1);
  }
  const size_t volumeName = VolumeNameLength(work);
  if (volumeName != 0) {
    WCHAR name[kVolumeNameChars];
    Copy(name, work, volumeName + 1 < kVolumeNameChars ? static_cast<uint32_t>(volumeName + 1) : kVolumeNameChars);
    TakeVolumeName(name, set, out);
    return;
  }
  if (!TakeUncToDrive(out)) return;
  FollowSubst();
  if (DriveAt(work)) out->letter = static_cast<char>(Upper(work[0]));
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  const auto volumePath = FindFunction<VolumePathNameFunction>(kernel, "GetVolumePathNameW");
  const auto nameOfMountPoint = FindFunction<VolumeNameForMountPointFunction>(kernel, "GetVolumeNameForVolumeMountPointW");
  if (volumePath != nullptr && nameOfMountPoint != nullptr && volumePath(work, out->mountPoint, kMountPointChars)) {
    WCHAR name[kVolumeNameChars];
    // A folder mount point names its own volume, not the drive's.
    if (!(DriveAt(out->mountPoint) && Slash(out->mountPoint[2]) && out->mountPoint[3] == 0)) out->letter = 0;
    if (nameOfMountPoint(out->mountPoint, name, kVolumeNameChars)) {
      TakeVolumeName(name, set, out);
      return;
    }
  }
  // Before Windows 2000, or a drive Windows has no volume name for: its letter.
  out->volume = FindVolumeByLetter(set, out->letter);
}

bool ResolveHandleVolume(HANDLE file, const VolumeSet& set, PathVolume* out) {
  const auto finalPath =
      FindFunction<FinalPathNameFunction>(GetModuleHandleA("KERNEL32.DLL"), "GetFinalPathNameByHandleW");
  if (finalPath == nullptr) return false;
  const DWORD length = finalPath(file, work, kMountPointChars, kVolumeNameGuid);
  if (length == 0 || length >= kMountPointChars) return false;
  const size_t volumeName = VolumeNameLength(work);
  if (volumeName == 0) return false;
  WCHAR name[kVolumeNameChars];
  Copy(name, work, volumeName + 1 < kVolumeNameChars ? static_cast<uint32_t>(volumeName + 1) : kVolumeNameChars);
  const VolumeRecord* volume = FindVolumeByName(set, name);
  if (volume == nullptr) return false;
  if (volume != out->volume) {
    std::memset(out, 0, sizeof(*out));
    out->volume = volume;
    out->letter = volume->letters[0];
  }
  return true;
}

bool DesignatorHoldsPathVolume(char designator, const PathVolume& where) {
  if (designator == 0) return false;
  if (NamesPhysicalDisk(designator)) {
    return where.volume != nullptr && VolumeLiesOnDisk(*where.volume, static_cast<uint32_t>(designator - '0'));
  }
  if (where.volume != nullptr && std::strchr(where.volume->letters, designator) != nullptr) return true;
  return where.volume == nullptr && where.letter == designator;
}

void NamePathVolume(const PathVolume& where, char* out, uint32_t outSize) {
  if (outSize == 0) return;
  if (where.letter != 0) {
    std::snprintf(out, outSize, "drive %c:", where.letter);
  } else if (where.mountPoint[0] != 0 &&
             WideCharToMultiByte(CP_ACP, 0, where.mountPoint, -1, out, static_cast<int>(outSize), nullptr,
                                 nullptr) > 0) {
    char mount[kMountPointChars];
    std::snprintf(mount, sizeof(mount), "%s", out);
    std::snprintf(out, outSize, "the volume mounted at %s", mount);
  } else {
    std::snprintf(out, outSize, "a volume without a drive letter");
  }
}

bool NamesDevice(const char* path) { return DeviceName(path); }
bool NamesDevice(const WCHAR* path) { return DeviceName(path); }
