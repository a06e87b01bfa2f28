#include "app/progress_gradient.h"

#include <gtest/gtest.h>

namespace {

struct GradientRow {
  uint32_t segment;
  uint32_t red, green, blue;
};

TEST(ProgressGradient, SegmentsRunFromRedThroughBlueToGreen) {
  const GradientRow rows[] = {
      {0, 255, 0, 0}, {1, 254, 5, 16}, {24, 16, 117, 254}, {25, 0, 122, 255}, {49, 0, 211, 16},
  };
  for (const GradientRow& row : rows) {
    const COLORREF colour = GradientColour(row.segment);
    EXPECT_EQ(colour & 0xFF, row.red) << "segment " << row.segment;
    EXPECT_EQ((colour >> 8) & 0xFF, row.green) << "segment " << row.segment;
    EXPECT_EQ((colour >> 16) & 0xFF, row.blue) << "segment " << row.segment;
    EXPECT_EQ(colour >> 24, 0u) << "segment " << row.segment;
  }
}

TEST(ProgressGradient, RedStaysOffFromTheMiddleOnAndNoChannelOverflows) {
  for (uint32_t segment = 0; segment < kGradientSegments; ++segment) {
    const COLORREF colour = GradientColour(segment);
    EXPECT_EQ(colour >> 24, 0u) << "segment " << segment;
    if (segment >= 25) {
      EXPECT_EQ(colour & 0xFF, 0u) << "segment " << segment;
    }
  }
}

}  // namespace
