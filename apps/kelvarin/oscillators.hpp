// Oscillator kinds and modulation-cell types with their panel names, and the generator of every kind.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "apps/kelvarin/synth.hpp"
#include "pure/math.hpp"
#include "pure/music/near_trig.hpp"
#include "pure/numbers.hpp"
#include "toolset/algos/chance.hpp"

// An oscillator's `kind`; anything outside 0..11 renders silence.
enum osc_waveform : int32_t {
  OSC_SIN = 0,
  OSC_TRI = 1,
  OSC_SAW = 2,
  OSC_SQU = 3,
  OSC_ZRO = 4,
  OSC_NOI = 5,
  OSC_REG = 6,
  OSC_AR = 7,
  OSC_EUC = 8,
  OSC_BSW = 9,
  OSC_BSQ = 10,
  OSC_FIV = 11,
  OSC_WAVEFORMS = 12,
};

// A cell's `type`; anything outside 0..9 has no effect.
enum osc_modulation_type : int32_t {
  MOD_ZRO = 0,
  MOD_OUT = 1,
  MOD_AMP = 2,
  MOD_PHS = 3,
  MOD_FRQ = 4,
  MOD_MIX = 5,
  MOD_SH = 6,
  MOD_TRG = 7,
  MOD_PR1 = 8,
  MOD_PR2 = 9,
  MOD_TYPES = 10,
};

// Three-letter names shown by the panel ("ar" has two); "unk" for any other value.
const char* osc_waveform_as_string(int32_t kind);
const char* osc_modulation_type_as_string(int32_t type);

// One sample of an oscillator. `started` is 0 on the first sample after a note-on or trigger (the
// generator re-initialises); `phase` is this sample's phase in cycles before its increment (phase
// modulation may move it outside [0, 1)); `increment` is cycles per sample; the result is multiplied
// by `amplitude`. Each generator keeps its state in its own area of the oscillator. Audio thread only.
using osc_generator = float (*)(osc* o, int32_t started, float phase, float amplitude, float increment, float p1,
                                float p2);

// The generators are inline so that the matrix can specialise its evaluation for each kind.
// The stepped generators advance exactly in the sample in which the cycle wraps.
inline bool private_osc_wraps(float phase, float increment) { return phase + increment >= 1.0f; }

// Residual of a band-limited ramp (two-point polyBLAMP) for a unit change of slope per sample, at a
// distance of s samples from the corner; zero beyond one sample.
inline float private_osc_blamp(float s) {
  float d = 1.0f - std::fabs(s);
  return d > 0.0f ? d * d * d * (1.0f / 6.0f) : 0.0f;
}

// Distance in cycles from t to a corner, taken the short way round the cycle.
inline float private_osc_cycle_distance(float t, float corner) {
  float d = t - corner;
  if (d >= 0.5f) return d - 1.0f;
  if (d < -0.5f) return d + 1.0f;
  return d;
}

inline float null_osc(osc*, int32_t, float, float, float, float, float) { return 0.0f; }

inline float sine_osc(osc*, int32_t, float phase, float amplitude, float, float, float) {
  return amplitude * sin_to_float(2.0 * std::numbers::pi * double(phase));
}

// Triangle in phase with the sine (0 at phase 0, +1 at 1/4, -1 at 3/4). Its two corners are rounded by
// the band-limited ramp residual, which removes most of the aliasing of the plain triangle. Being
// stateless, it keeps its exact shape at any rate, low-frequency use included, and under frequency
// modulation.
inline float bl_triangle_osc(osc*, int32_t, float phase, float amplitude, float increment, float, float) {
  if (!std::isfinite(phase)) return 0.0f;
  float t = phase - std::floor(phase);
  float y = t < 0.25f ? 4.0f * t : (t < 0.75f ? 2.0f - 4.0f * t : 4.0f * t - 4.0f);
  float dt = std::fabs(increment);
  if (dt > 0.0f && dt < 0.5f) {
    float slope_change = 8.0f * dt;  // the slope turns from +4 to -4 per cycle at 1/4, back at 3/4
    y -= slope_change * private_osc_blamp(private_osc_cycle_distance(t, 0.25f) / dt);
    y += slope_change * private_osc_blamp(private_osc_cycle_distance(t, 0.75f) / dt);
  }
  return amplitude * y;
}

inline float fm_saw_osc(osc* o, int32_t, float phase, float amplitude, float increment, float, float) {
  return amplitude * fm_synth_saw_next(&o->fm_saw, increment, phase);
}

inline float fm_square_osc(osc* o, int32_t, float phase, float amplitude, float increment, float, float) {
  return amplitude * fm_synth_square_next(&o->fm_square, increment, phase);
}

// Sample-and-hold noise in [-0.5, 0.5]. A restart re-seeds the shared generator from p1, so the same
// p1 replays the same sequence.
inline float random_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float) {
  if (!started) mt_prng_make(&prng, trunc_to_u32(std::max(p1 * 2147483648.0f, 0.0f)));
  if (private_osc_wraps(phase, increment)) o->random_value = uniform_rand(&prng) - 0.5f;
  return amplitude * o->random_value;
}

inline float lsfr_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float, float) {
  if (!started) lsfr_make(&o->lsfr, uint16_t(mt_prng_uint32(&prng) & 0xFFFFu));
  if (private_osc_wraps(phase, increment)) lsfr_next(&o->lsfr);
  return amplitude * float(lsfr_output_bit(&o->lsfr));
}

inline float lsfr_val_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float, float) {
  if (!started) lsfr_make(&o->lsfr, uint16_t(mt_prng_uint32(&prng) & 0xFFFFu));
  if (private_osc_wraps(phase, increment)) lsfr_next(&o->lsfr);
  return amplitude * (float(lsfr_reg(&o->lsfr)) * (1.0f / 65535.0f));
}

// One rise and fall over one period of the oscillator's frequency; a restart rises from the level
// where it stands.
inline float ar_osc(osc* o, int32_t started, float, float amplitude, float increment, float, float) {
  ar_state& ar = osc_ar(*o);
  if (!started) {
    ar.stage = 0;
    ar.timer = 1.0f;
  } else if (ar.timer < 0.5f && ar.stage == 0) {
    ar.stage = 1;
  } else if (ar.timer < 0.0f) {
    ar.stage = 2;
  }
  if (ar.stage == 0) ar.level += 2.0f * increment;
  if (ar.stage == 1) ar.level -= 2.0f * increment;
  if (ar.stage == 2 && ar.level > 0.0f) ar.level -= 2.0f * increment;
  ar.level = clamp_f(ar.level, 0.0f, 1.0f);
  ar.timer = ar.timer - increment;
  return amplitude * ar.level;
}

// A pulse of 1 at each cycle boundary whose step is an onset; p1 sets the onsets and max(p1, p2) the
// steps, both in 64ths. The pattern is rebuilt (without allocating) only on a restart.
inline float euclid_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2) {
  euclid_pulse* pulse = &osc_euclid(*o);
  if (!started) {
    float a = clamp_f(p1, 0.0f, 1.0f);
    float b = clamp_f(std::max(p1, p2), 0.0f, 1.0f);
    int32_t steps = clamp_i(int32_t(b * 64.0f), 1, 64);
    int32_t onsets = clamp_i(int32_t(a * 64.0f), 1, 64);
    euclid_pulse_make(pulse, onsets, steps);
  }
  float out = 0.0f;
  if (private_osc_wraps(phase, increment)) {
    out = float(euclid_pulse_output_bit(pulse));
    euclid_pulse_next(pulse);
  }
  return amplitude * out;
}

inline float bl_saw_osc(osc* o, int32_t, float phase, float amplitude, float increment, float, float) {
  return amplitude * blit_sawtooth_at(&o->blit, &o->blit_lp, phase, increment);
}

inline float bl_square_osc(osc* o, int32_t, float phase, float amplitude, float increment, float, float) {
  return amplitude * blit_square_at(&o->blit, &o->blit_lp, phase, increment);
}

// The generators indexed by kind, one for each kind (checked where the table is made).
extern const osc_generator osc_generators[];

inline osc_generator osc_generator_of(int32_t kind) {
  return uint32_t(kind) < uint32_t(OSC_WAVEFORMS) ? osc_generators[kind] : null_osc;
}
