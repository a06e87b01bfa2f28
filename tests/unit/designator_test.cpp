// How a disk is named: the designator taken from the drive field's text, the
// device path and legacy drive number made from it, and the percentage rule.
#include "app/trim_option.h"
#include "disk/drive_naming.h"
#include "imaging/job_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

TEST(Designator, TakesTheLetterOrDigitBeforeTheSizeLabel) {
  struct Case {
    const char* text;
    char expected;
  };
  const Case cases[] = {
      {"Drive E: (1.00 GB)", 'E'},
      {"Drive T: (Not Ready)", 'T'},
      {"Floppy A:", 'A'},
      {"Drive C:", 'C'},
      {"Physical Disk 9 (500.00 GB)", '9'},
      {"Physical Disk 0 (Not Ready)", '0'},
      // Typed texts: the designator stands alone, or the text names no disk.
      {"E", 'E'}, {"E:", 'E'}, {"e:", 'E'}, {"Drive E:", 'E'}, {"E:  ", 'E'}, {"Physical Disk 3", '3'},
      {"10", 0},                  // not physical disk 0
      {"Physical Disk 10", 0}, {"Physical Disk 10 (1.00 GB)", 0}, {"XE:", 0}, {"typed text", 0},
      {"Drive ?:", 0}, {"Drive :", 0},
      {"Q:(x)", 'Q'},             // the byte before "(" is dropped, then the ":"
      {"Drive E: (a) (b)", 'E'},  // only the first "(" counts
      {"", 0},
      {"(1.00 GB)", 0},
      {":", 0},
      {"X(", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DriveDesignatorFromText(c.text), c.expected) << "\"" << c.text << "\"";
  }
}

TEST(Designator, DigitsNamePhysicalDisksAndLettersVolumes) {
  struct Case {
    char designator;
    const char* path;
  };
  const Case cases[] = {
      {'0', "\\\\.\\PHYSICALDRIVE0"}, {'9', "\\\\.\\PHYSICALDRIVE9"},
      {'E', "\\\\.\\E:"},             {'T', "\\\\.\\T:"},
  };
  for (const Case& c : cases) {
    char path[64];
    FormatDevicePath(c.designator, path, sizeof(path));
    EXPECT_EQ(std::string(path), c.path);
  }
}

// Only a whole physical disk begins with a partition table, and only the NT
// family opens one; the box follows the designator Start would take.
TEST(Designator, TrimIsOfferedForPhysicalDisksOnTheNtFamilyOnly) {
  struct Case {
    const char* text;
    uint8_t platform;
    bool offered;
  };
  const Case cases[] = {
      {"Physical Disk 0 (64.00 MB)", kPlatformNt, true},
      {"Physical Disk 9 (Not Ready)", kPlatformNt, true},
      {"3", kPlatformNt, true},  // typed: Start opens physical drive 3
      {"Drive E: (1.00 GB)", kPlatformNt, false},
      {"Drive 3: (1.00 GB)", kPlatformNt, true},
      {"Physical Disk (5)", kPlatformNt, false},
      {"", kPlatformNt, false},
      {"Physical Disk 0 (64.00 MB)", kPlatformLegacy, false},
      {"Floppy A:", kPlatformLegacy, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TrimOffered(c.text, c.platform), c.offered) << "\"" << c.text << "\" on " << int(c.platform);
  }
}

TEST(Designator, LegacyDriveNumbersCountFromA) {
  struct Case {
    char designator;
    uint8_t number;
  };
  const Case cases[] = {{'A', 1}, {'B', 2}, {'C', 3}, {'Z', 26}, {'0', 3}, {'9', 12}};
  for (const Case& c : cases) {
    EXPECT_EQ(LegacyDriveNumber(c.designator), c.number) << c.designator;
  }
}

TEST(Progress, PercentStaysFiniteWithoutATotal) {
  struct Case {
    uint64_t done, total;
    double percent;
  };
  const Case cases[] = {
      {0, 0, 0.0},      // an empty image: 0/0 must not reach the display as NaN
      {128, 0, 0.0},    // a device without a size: no infinity either
      {0, 1953, 0.0},
      {1953, 1953, 100.0},
      {2097152, 2097151, 2097152 * 100.0 / 2097151},
  };
  for (const Case& c : cases) {
    double percent = ProgressPercent(c.done, c.total);
    EXPECT_TRUE(std::isfinite(percent));
    EXPECT_DOUBLE_EQ(percent, c.percent) << c.done << "/" << c.total;
  }
}

}  // namespace
