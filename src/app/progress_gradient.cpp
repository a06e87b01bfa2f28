#include "app/progress_gradient.h"

#include <cmath>

COLORREF GradientColour(uint32_t segment) {
  const double i = static_cast<double>(segment);
  double red = 255.0 * std::cos(i * 0.06283);
  double green = 255.0 * std::sin(i * 0.02);
  // The blue angle stays below pi for every segment, so it needs no clamp.
  const double blue = 255.0 * std::sin((i * 0.02) * 3.1415926535);
  if (red < 0.0) red = 0.0;
  if (green < 0.0) green = 0.0;
  const uint32_t r = static_cast<uint32_t>(red);
  const uint32_t g = static_cast<uint32_t>(green);
  const uint32_t b = static_cast<uint32_t>(blue);
  return static_cast<COLORREF>(r | (g << 8) | (b << 16));
}
