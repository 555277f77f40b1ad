// Euclidean rhythms: k onsets spread as evenly as possible over n steps, stepped one bit per cycle.
#pragma once
#include <cstdint>

// Intervals between onsets. Fixed room for the 64 steps a pattern can hold, because patterns are
// rebuilt on the audio thread whenever a rhythm oscillator restarts.
constexpr int32_t BEAT_ARRAY_CAPACITY = 64;
struct beat_array {
  int32_t length = 0;
  int32_t beats[BEAT_ARRAY_CAPACITY] = {};
};

#pragma pack(push, 4)
struct euclid_pulse {
  uint64_t pattern;  // bit i: onset at step i; bit 0 is the current step
  int32_t steps;     // 1..64
};
#pragma pack(pop)
static_assert(sizeof(euclid_pulse) == 12);

// Appends the k intervals (summing to n) of k onsets over n steps; nothing for k < 1 or n < k.
void euclid(beat_array* out, int32_t k, int32_t n);
void euclid_pulse_make(euclid_pulse* p, int32_t k, int32_t n);
inline int euclid_pulse_output_bit(const euclid_pulse* p) { return int(p->pattern & 1u); }
void euclid_pulse_next(euclid_pulse* p);
