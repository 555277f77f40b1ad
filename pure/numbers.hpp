// Float-to-integer conversions that are defined for every input: NaN, infinities and out-of-range values.
#pragma once
#include <cmath>
#include <cstdint>

// Truncates toward zero; NaN gives 0, values past the range give the nearest end of the range.
inline int32_t trunc_to_i32(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return INT32_MAX;
  if (x <= -2147483648.0) return INT32_MIN;
  return int32_t(x);
}

inline uint32_t trunc_to_u32(double x) {
  if (std::isnan(x) || x <= 0.0) return 0;
  if (x >= 4294967295.0) return UINT32_MAX;
  return uint32_t(x);
}
