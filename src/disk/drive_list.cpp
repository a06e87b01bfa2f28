// The drive list: every candidate device of the running family is probed
// once while the main window opens, and each one that answers gets an entry.
#include "disk/drive_list.h"

#include "disk/drive_naming.h"
#include "disk/legacy_sectors.h"
#include "disk/raw_device.h"

#include <cstdio>
#include <cstring>

namespace {

char driveLabel[kDriveLabelBytes];  // the entry being added; main thread

void AddEntry(HWND comboBox) {
  SendMessageA(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(driveLabel));
}

// Probes the device the designator names; adds its entry when it reads, or a
// not-ready entry when the medium is missing. Anything else stays unlisted.
void ListNtDevice(HWND comboBox, char designator, bool physicalDisk) {
  FormatDevicePath(designator, devicePath, kDevicePathBytes);
  if (ProbeDeviceReadable(devicePath)) {
    DescribeDeviceSize(devicePath);
    std::snprintf(driveLabel, sizeof driveLabel, physicalDisk ? DISK_LABEL_SIZED : DRIVE_LABEL_SIZED,
                  designator, sizeText);
  } else if (GetLastError() == ERROR_NOT_READY) {
    std::snprintf(driveLabel, sizeof driveLabel, physicalDisk ? DISK_LABEL_NOT_READY : DRIVE_LABEL_NOT_READY,
                  designator);
  } else {
    return;
  }
  AddEntry(comboBox);
}

}  // namespace

void BuildDriveList(HWND comboBox, bool legacyFamily) {
  if (legacyFamily) {
    // Z is left out: the list offers A..Y on this family.
    for (uint8_t drive = 1; drive <= 25; ++drive) {
      if (!LegacyProbeDrive(drive)) continue;
      std::snprintf(driveLabel, sizeof driveLabel, drive <= 2 ? LEGACY_FLOPPY_LABEL : LEGACY_DRIVE_LABEL,
                    static_cast<char>(64 + drive));
      AddEntry(comboBox);
    }
    return;
  }
  // U..Z are never probed on this family.
  for (char letter = 'A'; letter <= 'T'; ++letter) ListNtDevice(comboBox, letter, false);
  for (char digit = '0'; digit <= '9'; ++digit) ListNtDevice(comboBox, digit, true);
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
