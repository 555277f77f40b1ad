// Feedback-FM sawtooth and square generators: sine operators fed back on themselves, low aliasing by design.
#pragma once
#include <cstdint>

struct fm_synth_osc {
  float increment;  // made as 0.25
  float phase;
  float feedback;   // the previous output
};
static_assert(sizeof(fm_synth_osc) == 12);

// The operators live outside the synthesizer record (in a fixed pool, so the audio thread never
// allocates); the record holds this 16-byte header of a typed array: a pool handle, a failed flag,
// the length and the capacity in bytes. The header is run-time state with no meaning in a stored
// preset.
struct fm_synth_osc_array {
  uint32_t handle;  // 0: no storage yet
  int32_t failed;
  int32_t length;
  int32_t capacity;
};
static_assert(sizeof(fm_synth_osc_array) == 16);

struct fm_synth {
  int32_t type;  // 0 sawtooth (one operator), 1 square (one pair)
  float increment;
  float phase;
  fm_synth_osc_array operators;
};
static_assert(sizeof(fm_synth) == 28);

fm_synth_osc* fm_synth_osc_array_allocate(fm_synth_osc_array* a, int32_t index);
fm_synth_osc* fm_synth_osc_array_get(const fm_synth_osc_array* a, int32_t index);
int32_t fm_synth_osc_array_length(const fm_synth_osc_array* a);

void fm_synth_osc_make(fm_synth_osc* op, float phase);
void fm_synth_make(fm_synth* fs);
void fm_synth_setup(fm_synth* fs, int32_t type);
void fm_synth_saw(fm_synth* fs, float* out, int n);
void fm_synth_square(fm_synth* fs, float* out, int n);
// One sample at the given increment and phase, as the oscillators call them.
float fm_synth_saw_next(fm_synth* fs, float increment, float phase);
float fm_synth_square_next(fm_synth* fs, float increment, float phase);

// Shaping terms, in double: feedback index for normalised frequency f, a first-order high-pass of the
// averaged output, its level normalisation and the sawtooth's centring.
inline double beta_3(double f) {
  double d = 0.5 - f;
  double d2 = d * d;
  return 54.0 * d2 * d2 * d2;
}
inline double high_pass_1(double y, double y1) { return 2.5 * y - 1.5 * y1; }
inline double high_pass_1_normalize(double x, double f) { return x * (1.0 - 2.0 * f); }
inline float dc_remove(float x, float f) { return x - 0.752f * f + 0.376f; }
