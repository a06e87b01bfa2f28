// The drive list of the main window and its size labels.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kSizeTextBytes = 32;
extern char sizeText[kSizeTextBytes];  // last size text; main thread

void BuildDriveList(HWND comboBox);
void DescribeDeviceSize(const char* path);
void FormatByteSize(double bytes);
