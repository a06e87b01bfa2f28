// The drive list: every candidate device of the running family is probed
// when the main window opens and again whenever Windows reports that devices
// changed, and each one that answers gets an entry naming what it is.
#include "disk/drive_list.h"

#include "disk/drive_naming.h"
#include "disk/legacy_sectors.h"
#include "disk/raw_device.h"
#include "disk/volume_set.h"

#include <cstdio>
#include <cstring>

DriveEntry driveEntries[kMaxDriveEntries];  // main thread
uint32_t driveEntryCount = 0;

namespace {

DriveEntry newEntry;  // the entry being made; main thread

void AddEntry(HWND comboBox, const DriveEntry& entry) {
  if (driveEntryCount >= kMaxDriveEntries) return;
  driveEntries[driveEntryCount++] = entry;
  SendMessageA(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(driveEntries[driveEntryCount - 1].label));
}

// Appends " text" to the label when there is room for all of it.
void AppendToLabel(char* label, const char* text) {
  if (text[0] == '\0') return;
  const size_t used = std::strlen(label);
  if (used + 1 + std::strlen(text) >= kDriveLabelBytes) return;
  std::snprintf(label + used, kDriveLabelBytes - used, " %s", text);
}

}  // namespace

bool DescribeNtEntry(char designator, DriveEntry* entry) {
  std::memset(entry, 0, sizeof(*entry));
  const bool physicalDisk = NamesPhysicalDisk(designator);
  if (!ReadDiskIdentity(designator, &entry->identity)) return false;
  entry->hasIdentity = true;
  if (entry->identity.ready) {
    // The length the identity read is the one DescribeDeviceSize would read.
    if (entry->identity.lengthBytes > 0) {
      FormatByteSize(static_cast<double>(entry->identity.lengthBytes));
    } else {
      std::snprintf(sizeText, sizeof sizeText, "%s", SIZE_TEXT_UNKNOWN);
    }
    std::snprintf(entry->label, kDriveLabelBytes, physicalDisk ? DISK_LABEL_SIZED : DRIVE_LABEL_SIZED, designator,
                  sizeText);
  } else {
    std::snprintf(entry->label, kDriveLabelBytes, physicalDisk ? DISK_LABEL_NOT_READY : DRIVE_LABEL_NOT_READY,
                  designator);
  }
  // What Windows says of the disk comes after the size label, so the
  // designator rule (which reads up to the first "(") is untouched.
  char maker[2 * kIdentityTextBytes];
  DescribeMaker(entry->identity, maker, sizeof(maker));
  AppendToLabel(entry->label, maker);
  if (physicalDisk) {
    char letters[3 * kVolumeLetters + 1];
    DiskLettersText(listedVolumes, static_cast<uint32_t>(designator - '0'), letters, sizeof(letters));
    const size_t length = std::strlen(letters);
    if (length > 0) letters[length - 1] = '\0';  // the space after the last letter
    AppendToLabel(entry->label, letters);
  }
  return true;
}

const DriveEntry* FindDriveEntry(const char* driveText, uint32_t textBytes) {
  if (driveText == nullptr || textBytes == 0 || driveText[0] == '\0') return nullptr;
  for (uint32_t i = 0; i < driveEntryCount; ++i) {
    // The field may have held only the start of a long entry.
    if (std::strncmp(driveEntries[i].label, driveText, textBytes - 1) == 0) return &driveEntries[i];
  }
  return nullptr;
}

void BuildDriveList(HWND comboBox, bool legacyFamily) {
  SendMessageA(comboBox, CB_RESETCONTENT, 0, 0);
  driveEntryCount = 0;
  if (legacyFamily) {
    // Z is left out: the list offers A..Y on this family.
    for (uint8_t drive = 1; drive <= 25; ++drive) {
      if (!LegacyProbeDrive(drive)) continue;
      std::memset(&newEntry, 0, sizeof(newEntry));
      std::snprintf(newEntry.label, kDriveLabelBytes, drive <= 2 ? LEGACY_FLOPPY_LABEL : LEGACY_DRIVE_LABEL,
                    static_cast<char>(64 + drive));
      AddEntry(comboBox, newEntry);
    }
    return;
  }
  FindVolumes(&listedVolumes);
  // U..Z are never probed on this family.
  for (char letter = 'A'; letter <= 'T'; ++letter) {
    if (DescribeNtEntry(letter, &newEntry)) AddEntry(comboBox, newEntry);
  }
  for (char digit = '0'; digit <= '9'; ++digit) {
    if (DescribeNtEntry(digit, &newEntry)) AddEntry(comboBox, newEntry);
  }
}

void DescribeDeviceSize(const char* path) {
  HANDLE device = OpenRawDevice(path, GENERIC_READ);
  if (device == INVALID_HANDLE_VALUE) return;  // the previous text stays
  // The true length where the device gives it, so disks of 2 TiB and more
  // show their size; otherwise the last sector index, as before.
  const uint64_t sectors = QueryDeviceLengthSectors(device);
  double bytes = static_cast<double>(sectors) * kSectorBytes;
  if (bytes > 0) {
    FormatByteSize(bytes);
  } else {
    std::snprintf(sizeText, sizeof sizeText, "%s", SIZE_TEXT_UNKNOWN);
  }
  CloseDevice(device);
}
