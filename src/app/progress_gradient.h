// Colours of the progress bar's segments, red through blue to green.
#pragma once

#include "win_api.h"

#include <cstdint>

constexpr uint32_t kGradientSegments = 50;

// Colour of segment 0..49 as a COLORREF (red | green << 8 | blue << 16).
COLORREF GradientColour(uint32_t segment);
