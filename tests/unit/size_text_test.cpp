// Size texts of the drive list: units of 1,024, strict thresholds, standard rounding.
#include "disk/drive_list.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SizeText, ByteCountsPrintWithTheUnitBelowTheirThreshold) {
  struct Case { double bytes; const char* expected; };
  const Case cases[] = {
      {0.0, "0 Bytes"},
      {512.0, "512 Bytes"},
      {1023.0, "1023 Bytes"},
      {1024.0, "1.00 KB"},
      {1535.0, "1.50 KB"},
      {1048575.0, "1024.00 KB"},          // still below 1 MiB, rounded up in print
      {1048576.0, "1.00 MB"},
      {1474048.0, "1.41 MB"},             // a 1.44 MB floppy: 2,879 sectors
      {1073741312.0, "1024.00 MB"},       // 1 GiB partition: 2,097,151 sectors
      {1073741824.0, "1.00 GB"},
      {2147483136.0, "2.00 GB"},          // 2 GiB partition: 4,194,303 sectors
      {4294967295.0 * 512.0, "2048.00 GB"},  // the largest last sector index
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    sizeText[0] = '\0';
    FormatByteSize(c.bytes);
    EXPECT_EQ(std::string(sizeText), c.expected);
  }
}

}  // namespace
