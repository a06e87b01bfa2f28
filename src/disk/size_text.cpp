// The size text shown in parentheses after a drive's name.
#include "disk/drive_list.h"

#include <cstdio>

char sizeText[kSizeTextBytes];  // the last size text made; main thread during discovery

void FormatByteSize(double bytes) {
  constexpr double kKiB = 1024.0;
  constexpr double kMiB = 1048576.0;
  constexpr double kGiB = 1073741824.0;
  if (bytes < kKiB) {
    std::snprintf(sizeText, sizeof sizeText, SIZE_TEXT_BYTES, bytes);
  } else if (bytes < kMiB) {
    std::snprintf(sizeText, sizeof sizeText, SIZE_TEXT_KB, bytes / kKiB);
  } else if (bytes < kGiB) {
    std::snprintf(sizeText, sizeof sizeText, SIZE_TEXT_MB, bytes / kMiB);
  } else {
    std::snprintf(sizeText, sizeof sizeText, SIZE_TEXT_GB, bytes / kGiB);
  }
}
