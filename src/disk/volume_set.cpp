// Finding the volumes of the system and the disks under each.
#include "disk/volume_set.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>

VolumeSet listedVolumes;  // main thread

namespace {

typedef HANDLE(WINAPI* FindFirstVolumeFunction)(LPWSTR, DWORD);
typedef BOOL(WINAPI* FindNextVolumeFunction)(HANDLE, LPWSTR, DWORD);
typedef BOOL(WINAPI* FindVolumeCloseFunction)(HANDLE);
typedef BOOL(WINAPI* VolumeNameForMountPointFunction)(LPCWSTR, LPWSTR, DWORD);

// Most volumes lie on one disk; a spanned or striped one answers
// ERROR_MORE_DATA and is asked again with room for all of its extents.
constexpr uint32_t kFirstExtents = 8;
constexpr size_t kFirstExtentsBytes = sizeof(VOLUME_DISK_EXTENTS) + (kFirstExtents - 1) * sizeof(DISK_EXTENT);

union ExtentsAnswer {
  VOLUME_DISK_EXTENTS extents;
  uint8_t bytes[kFirstExtentsBytes];
};

bool SameName(const WCHAR* a, const WCHAR* b) {
  // Case and a trailing backslash do not tell two volume names apart.
  size_t i = 0;
  for (;; ++i) {
    WCHAR x = a[i], y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<WCHAR>(x - L'a' + L'A');
    if (y >= L'a' && y <= L'z') y = static_cast<WCHAR>(y - L'a' + L'A');
    if (x != y) break;
    if (x == 0) return true;
  }
  const bool aEnds = a[i] == 0 || (a[i] == L'\\' && a[i + 1] == 0);
  const bool bEnds = b[i] == 0 || (b[i] == L'\\' && b[i + 1] == 0);
  return aEnds && bEnds;
}

void MarkDisks(VolumeRecord* volume, const uint8_t* answer, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    DISK_EXTENT extent;
    std::memcpy(&extent, answer + offsetof(VOLUME_DISK_EXTENTS, Extents) + i * sizeof(DISK_EXTENT), sizeof(extent));
    if (extent.DiskNumber < 64) volume->disks |= uint64_t{1} << extent.DiskNumber;
  }
}

// Asks the volume for its extents; a volume that answers none lies on no
// known disk (extentsKnown stays false).
void AskExtents(VolumeRecord* volume) {
  WCHAR path[kVolumeNameChars];
  VolumeDevicePath(*volume, path, kVolumeNameChars);
  // Only a question: no access is needed to ask for the extents.
  HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  ExtentsAnswer first;
  DWORD returned = 0;
  if (DeviceIoControl(handle, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, first.bytes, sizeof(first.bytes),
                      &returned, nullptr)) {
    volume->extentsKnown = true;
    const uint32_t count = first.extents.NumberOfDiskExtents;
    MarkDisks(volume, first.bytes, count < kFirstExtents ? count : kFirstExtents);
  } else if (GetLastError() == ERROR_MORE_DATA && first.extents.NumberOfDiskExtents > kFirstExtents) {
    const uint32_t count = first.extents.NumberOfDiskExtents;
    const size_t bytes = sizeof(VOLUME_DISK_EXTENTS) + (count - 1) * sizeof(DISK_EXTENT);
    uint8_t* grown = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, bytes));
    if (grown != nullptr) {
      if (DeviceIoControl(handle, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, grown,
                          static_cast<DWORD>(bytes), &returned, nullptr)) {
        VOLUME_DISK_EXTENTS header;
        std::memcpy(&header, grown, sizeof(DWORD));
        const uint32_t answered = header.NumberOfDiskExtents < count ? header.NumberOfDiskExtents : count;
        volume->extentsKnown = true;
        MarkDisks(volume, grown, answered);
      }
      HeapFree(GetProcessHeap(), 0, grown);
    }
  }
  CloseHandle(handle);
}

void AddLetter(VolumeRecord* volume, char letter) {
  const size_t length = std::strlen(volume->letters);
  if (length < kVolumeLetters) {
    volume->letters[length] = letter;
    volume->letters[length + 1] = '\0';
  }
}

VolumeRecord* NewVolume(VolumeSet* set) {
  if (set->count >= kMaxVolumes) return nullptr;
  VolumeRecord* volume = &set->volumes[set->count++];
  std::memset(volume, 0, sizeof(*volume));
  return volume;
}

// Older NT: a volume is a drive letter of a local disk. Network shares, CD
// drives and RAM disks lie on no physical disk and are not asked.
void FindLetterVolumes(VolumeSet* set) {
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const char root[4] = {letter, ':', '\\', '\0'};
    const UINT type = GetDriveTypeA(root);
    if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;
    VolumeRecord* volume = NewVolume(set);
    if (volume == nullptr) return;
    const WCHAR path[7] = {L'\\', L'\\', L'.', L'\\', static_cast<WCHAR>(letter), L':', L'\0'};
    std::wmemcpy(volume->name, path, 7);
    AddLetter(volume, letter);
  }
}

}  // namespace

void FindVolumes(VolumeSet* set) {
  set->count = 0;
  set->anyExtentsKnown = false;
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  const auto findFirst = FindFunction<FindFirstVolumeFunction>(kernel, "FindFirstVolumeW");
  const auto findNext = FindFunction<FindNextVolumeFunction>(kernel, "FindNextVolumeW");
  const auto findClose = FindFunction<FindVolumeCloseFunction>(kernel, "FindVolumeClose");
  const auto nameOfMountPoint = FindFunction<VolumeNameForMountPointFunction>(kernel, "GetVolumeNameForVolumeMountPointW");
  WCHAR name[kVolumeNameChars];
  if (findFirst == nullptr || findNext == nullptr || findClose == nullptr || nameOfMountPoint == nullptr) {
    FindLetterVolumes(set);
  } else if (HANDLE search = findFirst(name, kVolumeNameChars); search != INVALID_HANDLE_VALUE) {
    do {
      VolumeRecord* volume = NewVolume(set);
      if (volume == nullptr) break;
      std::wmemcpy(volume->name, name, kVolumeNameChars);
      volume->name[kVolumeNameChars - 1] = L'\0';
    } while (findNext(search, name, kVolumeNameChars));
    findClose(search);
    // The letters: each root's volume name, matched against the set.
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
      const WCHAR root[4] = {static_cast<WCHAR>(letter), L':', L'\\', L'\0'};
      if (!nameOfMountPoint(root, name, kVolumeNameChars)) continue;
      const VolumeRecord* found = FindVolumeByName(*set, name);
      if (found != nullptr) AddLetter(const_cast<VolumeRecord*>(found), letter);
    }
  }
  for (uint32_t i = 0; i < set->count; ++i) {
    AskExtents(&set->volumes[i]);
    if (set->volumes[i].extentsKnown) set->anyExtentsKnown = true;
  }
}

bool VolumeDisksUnknown(const VolumeSet& set) { return set.count > 0 && !set.anyExtentsKnown; }

const VolumeRecord* FindVolumeByName(const VolumeSet& set, const WCHAR* name) {
  for (uint32_t i = 0; i < set.count; ++i) {
    if (SameName(set.volumes[i].name, name)) return &set.volumes[i];
  }
  return nullptr;
}

const VolumeRecord* FindVolumeByLetter(const VolumeSet& set, char letter) {
  if (letter == 0) return nullptr;
  for (uint32_t i = 0; i < set.count; ++i) {
    if (std::strchr(set.volumes[i].letters, letter) != nullptr) return &set.volumes[i];
  }
  return nullptr;
}

bool VolumeLiesOnDisk(const VolumeRecord& volume, uint32_t diskNumber) {
  return diskNumber < 64 && (volume.disks & (uint64_t{1} << diskNumber)) != 0;
}

void DiskLettersText(const VolumeSet& set, uint32_t diskNumber, char* out, uint32_t outSize) {
  if (outSize == 0) return;
  out[0] = '\0';
  size_t used = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const VolumeRecord* volume = FindVolumeByLetter(set, letter);
    if (volume == nullptr || !VolumeLiesOnDisk(*volume, diskNumber) || used + 4 > outSize) continue;
    std::snprintf(out + used, outSize - used, "%c: ", letter);
    used += 3;
  }
}

void VolumeDevicePath(const VolumeRecord& volume, WCHAR* out, uint32_t outChars) {
  if (outChars == 0) return;
  size_t length = std::wcslen(volume.name);
  if (length >= outChars) length = outChars - 1;
  std::wmemcpy(out, volume.name, length);
  if (length > 0 && out[length - 1] == L'\\') --length;
  out[length] = L'\0';
}
