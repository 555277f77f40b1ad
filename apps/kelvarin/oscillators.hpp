// Oscillator kinds and modulation-cell types with their panel names, and the generator of every kind.
#pragma once
#include <cstdint>

#include "apps/kelvarin/synth.hpp"

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

float null_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float sine_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float bl_triangle_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float fm_saw_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float fm_square_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float random_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float lsfr_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float ar_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float euclid_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float bl_saw_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float bl_square_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);
float lsfr_val_osc(osc* o, int32_t started, float phase, float amplitude, float increment, float p1, float p2);

// The generators indexed by kind, one for each kind (checked where the table is made).
extern const osc_generator osc_generators[];

inline osc_generator osc_generator_of(int32_t kind) {
  return uint32_t(kind) < uint32_t(OSC_WAVEFORMS) ? osc_generators[kind] : null_osc;
}
