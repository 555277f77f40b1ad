// Each voice's chain after the matrix: feedback delay, resonant low-pass, state-variable high-pass, then
// the constant-power pan into the stereo block, and the crossfade gain curve between two records.
#pragma once
#include <cstdint>

#include "toolset/array.hpp"

constexpr int32_t VOICE_BLOCK = 256;
constexpr int32_t DELAY_LINE_FLOATS = 661500;  // 15 s at 44100 Hz

// Resonant two-pole low-pass from the bilinear transform. At 22050 Hz and above it is open: the formula
// puts both poles at z = -1 there (or outside the unit circle above), so instead of the recursion the
// signal passes unchanged while the memories follow it, ready for a later lower cutoff.
struct lp_filter {
  float a0, a1, a2, b1, b2;
  float x0, x1, x2;  // last three inputs, newest first
  float y0, y1, y2;  // last three outputs, newest first
  int32_t dirty;     // the coefficients must be recomputed
  float c, c2;       // 1 / tan(pi * cutoff / 44100) and its square
  float r;           // damping
  int32_t open;      // cutoff at or above 22050 Hz: passes the signal unchanged
};

// Chamberlin state-variable filter with the input scaled by q; f is held in 0.01..1 (70 to 7350 Hz).
struct chamberlin_filter {
  float f;
  float q;
  int32_t changed;
  float low, high, band, notch;
};

void lp_filter_make(lp_filter* lp);
void lp_filter_set_cutoff(lp_filter* lp, float hz);
void lp_filter_set_resonance(lp_filter* lp, float res);
void private_lp_filter_setparams(lp_filter* lp);
void lp_filter_do(lp_filter* lp, float* block);

void chamberlin_filter_make(chamberlin_filter* c);
void chamberlin_filter_set_cutoff(chamberlin_filter* c, float hz);
void chamberlin_filter_set_resonance(chamberlin_filter* c, float res);
// Mode 0 high, 1 low, 2 band, 3 notch; any other mode advances the state and leaves the block as it is.
void chamberlin_filter_do(chamberlin_filter* c, int32_t mode, float* block);

// Per-voice state, process-wide, not stored in presets. The delay positions stay inside the line:
// the read position counts 0..length-1 and wraps, the write position is derived from it every sample.
extern float_array delay_lines[8];
extern int32_t delay_line_tapin[8];
extern int32_t delay_line_tapout[8];
extern lp_filter lps[8];
extern chamberlin_filter chamberlins[8];

// Gives every voice's delay line its full 15 s before audio starts, so the audio thread never grows
// one. Returns 1 when all eight lines hold 661500 floats; a line that could not be made stays empty and
// its voice plays without echo.
int delay_lines_make();
void filters_make();
// Every voice's low-pass then state-variable high-pass (mode 0) over its block, as lp_filter_do and
// chamberlin_filter_do voice by voice would leave blocks and filters; the eight voices run side by side.
void voice_filters_do(float (*blocks)[VOICE_BLOCK]);

// Runs voice `line`'s delay over one block in place: the result is x + (1 - dry) * echo, and the line
// receives (x + echo) * feedback. The echo arrives trunc(delay) samples later, held to 1..661499
// samples (NaN gives 1), so every index stays inside the line whatever the voice settings hold.
void feedback_delay(float* block, int32_t line, float dry, float delay, float feedback);
float tapin(int32_t line);
void tapout(int32_t line, float x);
void tap_adjusts(int32_t line, float delay);

void pan(float gains[2], float position);
void mix(float* left, float* right, const float* block, float volume, float position);
float crossfade_amp(float a, float x);
