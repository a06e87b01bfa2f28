#include "app/progress_bar.h"

#include <gtest/gtest.h>

namespace {

RECT Item(LONG left, LONG width) { return RECT{left, 0, left + width, 20}; }

// Every filled pixel belongs to exactly one segment, in order, with no gap.
void ExpectContiguous(const RECT& item, const ProgressBarLayout& layout) {
  LONG x = item.left;
  for (uint32_t i = 0; i < layout.segmentCount; ++i) {
    EXPECT_EQ(layout.segmentLeft[i], x) << "segment " << i;
    EXPECT_GE(layout.segmentRight[i], layout.segmentLeft[i]) << "segment " << i;
    x = layout.segmentRight[i];
  }
  EXPECT_EQ(layout.blackLeft, x);
  EXPECT_EQ(layout.hasBlack, x != item.right);
}

TEST(ProgressBar, NothingDoneLeavesTheWholeBarBlackAfterOneEmptySegment) {
  const RECT item = Item(0, 325);
  ProgressBarLayout layout;
  LayOutProgressBar(item, 0.0, &layout);
  EXPECT_EQ(layout.filledEdge, 0);
  ASSERT_EQ(layout.segmentCount, 1u);
  EXPECT_EQ(layout.segmentLeft[0], 0);
  EXPECT_EQ(layout.segmentRight[0], 0);
  EXPECT_TRUE(layout.hasBlack);
  EXPECT_EQ(layout.blackLeft, 0);
}

TEST(ProgressBar, HalfDonePaintsTwentyFiveSegmentsEndingAtTheFilledEdge) {
  const RECT item = Item(0, 325);
  ProgressBarLayout layout;
  LayOutProgressBar(item, 50.0, &layout);
  EXPECT_EQ(layout.filledEdge, 162);
  ASSERT_EQ(layout.segmentCount, 25u);
  EXPECT_EQ(layout.segmentRight[24], 162);
  EXPECT_EQ(layout.blackLeft, 162);
  EXPECT_TRUE(layout.hasBlack);
  ExpectContiguous(item, layout);
}

TEST(ProgressBar, FullBarPaintsAllFiftySegmentsAndNoBlack) {
  const RECT item = Item(0, 325);
  ProgressBarLayout layout;
  LayOutProgressBar(item, 100.0, &layout);
  EXPECT_EQ(layout.filledEdge, 325);
  ASSERT_EQ(layout.segmentCount, 50u);
  EXPECT_EQ(layout.segmentRight[49], 325);
  EXPECT_FALSE(layout.hasBlack);
  ExpectContiguous(item, layout);
}

TEST(ProgressBar, SegmentEdgesStayPutAndOnlyTheLastFilledOneIsCut) {
  // 33 % of 325 is 107.25: segments of 6.5 pixels; segment 16 spans 104..110
  // and is cut at 107.
  const RECT item = Item(0, 325);
  ProgressBarLayout layout;
  LayOutProgressBar(item, 33.0, &layout);
  EXPECT_EQ(layout.filledEdge, 107);
  ASSERT_EQ(layout.segmentCount, 17u);
  EXPECT_EQ(layout.segmentRight[0], 6);
  EXPECT_EQ(layout.segmentRight[1], 13);
  EXPECT_EQ(layout.segmentLeft[16], 104);
  EXPECT_EQ(layout.segmentRight[16], 107);
  ExpectContiguous(item, layout);
}

TEST(ProgressBar, ItemAwayFromTheOriginKeepsItsOffset) {
  const RECT item = Item(10, 200);
  ProgressBarLayout layout;
  LayOutProgressBar(item, 50.0, &layout);
  EXPECT_EQ(layout.filledEdge, 110);
  EXPECT_EQ(layout.segmentLeft[0], 10);
  EXPECT_EQ(layout.segmentRight[0], 14);
  ASSERT_EQ(layout.segmentCount, 25u);
  EXPECT_EQ(layout.segmentRight[24], 110);
  ExpectContiguous(item, layout);
}

TEST(ProgressBar, ValuesOutsideZeroToHundredStayInsideTheItem) {
  const RECT item = Item(0, 325);
  struct Case {
    double percent;
    LONG filledEdge;
  } cases[] = {{100.4, 325}, {1e300, 325}, {-5.0, 0}, {0.0 / 0.0, 0}};
  for (const Case& c : cases) {
    ProgressBarLayout layout;
    LayOutProgressBar(item, c.percent, &layout);
    EXPECT_EQ(layout.filledEdge, c.filledEdge) << c.percent;
    ExpectContiguous(item, layout);
  }
}

}  // namespace
