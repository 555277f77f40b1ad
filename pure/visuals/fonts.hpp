// Text heights in pixels that keep a line at a fixed visual angle for a screen density and reading distance.
#pragma once
#include <cmath>
#include <cstdint>

#include "pure/numbers.hpp"

// A line subtends about 25 minutes of arc at distance_mm; each level scales it by the golden ratio.
// With 72 dpi at 650 mm the levels -2 ... +2 give 5, 8, 13, 21 and 35 pixels.
inline int32_t font_height_for_dpi_and_distance(int32_t level, float dpi, float distance_mm) {
  float size_mm = float(double(distance_mm) * 0.00727219993451468);
  float mm_per_pixel = float((1.0 / double(dpi)) * 25.4);
  float scale = float(std::pow(1.6180339887, double(level)));
  return trunc_to_i32(double(std::floor(size_mm / mm_per_pixel * scale)));
}
