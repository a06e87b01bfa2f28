#include "app/progress_bar.h"

#include <cmath>

void LayOutProgressBar(const RECT& item, double percentDone, ProgressBarLayout* layout) {
  // The worker's last value can lie a little above 100, and an empty image
  // gives no meaningful value at all; either way the edge must stay a pixel of
  // the item, since the conversion to an integer is undefined out of range.
  double percent = percentDone;
  if (!(percent >= 0.0)) percent = 0.0;
  if (percent > 100.0) percent = 100.0;

  const double left = static_cast<double>(item.left);
  const double width = static_cast<double>(item.right - item.left);
  const LONG filled = static_cast<LONG>(left + percent * width * 0.01);
  layout->filledEdge = filled;

  LONG segmentLeft = item.left;
  uint32_t count = 0;
  for (uint32_t i = 0; i < kGradientSegments; ++i) {
    LONG right = static_cast<LONG>(left + static_cast<double>(i + 1) * width * 0.02);
    if (right > filled) right = filled;
    layout->segmentLeft[i] = segmentLeft;
    layout->segmentRight[i] = right;
    count = i + 1;
    segmentLeft = right;
    if (right == filled) break;
  }
  layout->segmentCount = count;
  layout->blackLeft = segmentLeft;
  layout->hasBlack = segmentLeft != item.right;
}
