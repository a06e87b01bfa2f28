// The drive list of the main window and its size labels.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kSizeTextBytes = 32;
constexpr uint32_t kDriveLabelBytes = 64;

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

// Probes the candidates of the running family (the VWIN32 drives when
// `legacyFamily`, raw devices otherwise) and adds an entry for each.
void BuildDriveList(HWND comboBox, bool legacyFamily);
void DescribeDeviceSize(const char* path);
void FormatByteSize(double bytes);
