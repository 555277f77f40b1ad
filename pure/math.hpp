// Clamps, comparisons, power-of-two rounding and fraction snapping shared by the synthesizer, panel and textures.
#pragma once
#include <cmath>
#include <cstdint>

inline void kill_denormal_by_dc(float& x) { x = x + 1e-20f; }

inline int32_t clamp_i(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// A non-finite input goes to the bound on its sign's side: +inf and NaN with a clear sign bit give hi.
inline float clamp_f(float x, float lo, float hi) {
  if (!std::isfinite(x)) return std::signbit(x) ? lo : hi;
  if (x < lo) return lo;
  return x < hi ? x : hi;
}

inline float min_f(float a, float b) { return a < b ? a : b; }

inline bool almost_equal(float a, float b, float eps) {
  if (std::fabs(a - b) < eps) return true;
  if (std::fabs(b) > std::fabs(a)) return std::fabs((b - a) / b) < eps;
  return std::fabs((a - b) / a) < eps;
}

// Smallest power of two at least n, never below 2; held at 2^30 so the result stays an int.
inline int32_t ceil_to_power_of_two(int32_t n) {
  int32_t p = 2;
  while (p < n && p < (1 << 30)) p *= 2;
  return p;
}

// Snaps x to the simplest fraction whose denominator is at most |n| (rint rounds half to even).
inline float quantize_f(float x, int32_t n) {
  int32_t m = n < 0 ? (n == INT32_MIN ? INT32_MAX : -n) : n;
  if (m <= 0) return 0.0f;
  for (int32_t d = 1;; ++d) {
    float dx = float(d) * x;
    float y = std::nearbyint(dx);
    if (almost_equal(dx, y, 1e-6f) || d == m) return y / float(d);
  }
}
