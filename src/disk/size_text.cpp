// The size text shown in parentheses after a drive's name.
#include "disk/drive_list.h"

#include <cstdio>

char sizeText[kSizeTextBytes];  // the last size text made; main thread during discovery

void FormatSizeText(double bytes, char* out) {
  constexpr double kKiB = 1024.0;
  constexpr double kMiB = 1048576.0;
  constexpr double kGiB = 1073741824.0;
  if (bytes < kKiB) {
    std::snprintf(out, kSizeTextBytes, SIZE_TEXT_BYTES, bytes);
  } else if (bytes < kMiB) {
    std::snprintf(out, kSizeTextBytes, SIZE_TEXT_KB, bytes / kKiB);
  } else if (bytes < kGiB) {
    std::snprintf(out, kSizeTextBytes, SIZE_TEXT_MB, bytes / kMiB);
  } else {
    std::snprintf(out, kSizeTextBytes, SIZE_TEXT_GB, bytes / kGiB);
  }
}

void FormatByteSize(double bytes) { FormatSizeText(bytes, sizeText); }
