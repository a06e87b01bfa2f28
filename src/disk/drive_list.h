// The drive list of the main window and its size labels.
#pragma once

#include "disk/disk_identity.h"
#include "win_api.h"

#include <cstdint>

constexpr uint32_t kSizeTextBytes = 32;
// The size label, the maker's vendor and product and a physical disk's letters.
constexpr uint32_t kDriveLabelBytes = 192;
constexpr uint32_t kMaxDriveEntries = 30;  // A..T and 0..9 on the NT family, A..Y on the legacy one

// Entry labels; the designator rule reads the letter or digit back from them.
#define DRIVE_LABEL_SIZED "Drive %c: (%s)"
#define DRIVE_LABEL_NOT_READY "Drive %c: (Not Ready)"
#define DISK_LABEL_SIZED "Physical Disk %c (%s)"
#define DISK_LABEL_NOT_READY "Physical Disk %c (Not Ready)"
#define LEGACY_FLOPPY_LABEL "Floppy %c:"
#define LEGACY_DRIVE_LABEL "Drive %c:"

// Size texts; units are powers of two.
#define SIZE_TEXT_UNKNOWN "Unknown Size"
#define SIZE_TEXT_BYTES "%0.0f Bytes"
#define SIZE_TEXT_KB "%0.2f KB"
#define SIZE_TEXT_MB "%0.2f MB"
#define SIZE_TEXT_GB "%0.2f GB"

extern char sizeText[kSizeTextBytes];  // last size text; main thread

// One entry of the list: its text and, on the NT family, what the disk was
// when it was listed, which Start asks again.
struct DriveEntry {
  char label[kDriveLabelBytes];
  bool hasIdentity;
  DiskIdentity identity;
};
extern DriveEntry driveEntries[kMaxDriveEntries];  // the entries in list order; main thread
extern uint32_t driveEntryCount;

// Empties the combo box and the entries, finds the volumes afresh (NT
// family), probes the candidates of the running family (the VWIN32 drives when
// `legacyFamily`, raw devices otherwise) and adds an entry for each.
void BuildDriveList(HWND comboBox, bool legacyFamily);
// The entry an NT designator gets now: false when the device would not be
// listed. Reads listedVolumes for a physical disk's letters.
bool DescribeNtEntry(char designator, DriveEntry* entry);
// The entry whose label the drive text is (as far as the text could hold it), or null.
const DriveEntry* FindDriveEntry(const char* driveText, uint32_t textBytes);
void DescribeDeviceSize(const char* path);
// The size text of `bytes` into sizeText: the main thread's, which the live
// drive list rewrites at any time.
void FormatByteSize(double bytes);
// The same into `out` (kSizeTextBytes), for a thread of its own.
void FormatSizeText(double bytes, char* out);
