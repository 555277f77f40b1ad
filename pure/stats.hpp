// Window statistics over float arrays: mean, root mean square, minimum and maximum.
#pragma once
#include <cmath>

inline float rms_f(const float* a, int n) {
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum += a[i] * a[i];
  return std::sqrt(sum / float(n));
}

inline float average_f(const float* a, int n) {
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) sum += a[i];
  return sum / float(n);
}

// out[0] = smallest, out[1] = largest; untouched when n <= 0.
inline void minmax_f(const float* a, int n, float* out) {
  if (n < 1) return;
  float lo = a[0], hi = a[0];
  for (int i = 1; i < n; ++i) {
    if (a[i] < lo) lo = a[i];
    if (a[i] > hi) hi = a[i];
  }
  out[0] = lo;
  out[1] = hi;
}
