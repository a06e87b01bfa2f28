// Where the progress bar's coloured segments and its black rest lie inside the
// list view item's rectangle.
#pragma once

#include "app/progress_gradient.h"
#include "win_api.h"

#include <cstdint>

struct ProgressBarLayout {
  LONG filledEdge = 0;                        // x where the progress ends
  uint32_t segmentCount = 0;                  // segments to fill, 1..50 (the first even when empty)
  LONG segmentLeft[kGradientSegments] = {};   // left side of segment i
  LONG segmentRight[kGradientSegments] = {};  // right side of segment i
  LONG blackLeft = 0;                         // black runs from here to the item's right side
  bool hasBlack = false;                      // false when the segments reach the right side
};

// Segment boundaries are fixed fractions of the width (2 % each) and do not
// move with the percentage; the last filled segment is cut at the filled edge.
void LayOutProgressBar(const RECT& item, double percentDone, ProgressBarLayout* layout);
