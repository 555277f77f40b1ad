// Euclidean rhythm patterns built from the recursive interval split, without allocation.
#include "apps/kelvarin/euclid_pulse.hpp"

#include <cmath>

namespace {
void private_beat_append(beat_array* out, int32_t beat) {
  if (out->length < BEAT_ARRAY_CAPACITY) out->beats[out->length++] = beat;
}
}  // namespace

void euclid(beat_array* out, int32_t k, int32_t n) {
  if (k < 1 || n < k || n > BEAT_ARRAY_CAPACITY) return;
  int32_t q = n / k, r = n % k;
  if (r == 0) {
    for (int32_t i = 0; i < k; ++i) private_beat_append(out, q);
    return;
  }
  beat_array t;
  euclid(&t, r, k);
  int32_t lo = int32_t(std::floor(float(n) / float(k)));
  int32_t hi = int32_t(std::ceil(float(n) / float(k)));
  for (int32_t i = 0; i < t.length; ++i) {
    for (int32_t j = 0; j < t.beats[i] - 1; ++j) private_beat_append(out, lo);
    private_beat_append(out, hi);
  }
}

void euclid_pulse_make(euclid_pulse* p, int32_t k, int32_t n) {
  int32_t steps = n < 1 ? 1 : (n > 64 ? 64 : n);
  int32_t onsets = k < 1 ? 1 : (k > steps ? steps : k);
  beat_array intervals;
  euclid(&intervals, onsets, steps);
  uint64_t pattern = intervals.length > 0 ? 1u : 0u;
  int32_t at = 0;
  for (int32_t i = 0; i + 1 < intervals.length; ++i) {
    at += intervals.beats[i];
    if (at < 64) pattern |= uint64_t(1) << at;
  }
  p->pattern = pattern;
  p->steps = steps;
}

// Rotates right within the pattern's steps: the current step's bit moves to the last step.
void euclid_pulse_next(euclid_pulse* p) {
  int32_t steps = p->steps < 1 ? 1 : (p->steps > 64 ? 64 : p->steps);
  uint64_t mask = steps == 64 ? ~uint64_t(0) : ((uint64_t(1) << steps) - 1);
  uint64_t bits = p->pattern & mask;
  uint64_t first = bits & 1u;
  p->pattern = (bits >> 1) | (first << (steps - 1));
}
