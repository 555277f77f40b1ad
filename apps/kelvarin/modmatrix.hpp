// The per-sample modulation matrix: eight oscillators of one record wired to each other through 64 cells.
#pragma once
#include <cstdint>

#include "apps/kelvarin/synth.hpp"

// The largest magnitude an oscillator's output takes (64 = +36 dB over full scale).
constexpr float OSC_OUTPUT_LIMIT = 64.0f;

// Advances every oscillator of `state` by one sample, destinations 0..7 in order, each reading its
// column's cells in source order; publishes each output into its row. Voice v's sample is then the
// value of cell [v][v]. Reads `started` with acquire (a note-on's pitch is written before it) and every
// other field another thread may write with relaxed loads. Audio thread only.
void modmatrix_osc(synth_state* state);

// ---- Block rendering: the same evaluation, with the wiring read once per block ----
// The cells' types and weights are gathered once per block into per-destination lists of the cells
// that act (types 2..9 plus the diagonal), so zero and "out" cells cost nothing per sample. Results are
// bit-identical to calling modmatrix_osc once per sample; an edit of a cell's type or weight takes
// effect at the next block (within 5.8 ms) instead of the next sample.

// Links grouped by what they act on, each group in source order: only the pitch group mixes two types
// ("phs" reads the frequency that earlier "frq" cells left), the others each feed one sum, so the
// grouping changes no result and the per-sample loops need no dispatch on the type. Each group is one
// run of the arrays below, so a sum is a plain walk over weights and values.
enum mod_group : int32_t { GROUP_PITCH, GROUP_LEVEL, GROUP_MIX, GROUP_SH, GROUP_TRG, GROUP_PR1, GROUP_PR2, GROUPS };

struct mod_destination {
  int32_t count;
  uint32_t groups;                 // bit g: group g has links
  int8_t group_begin[GROUPS + 1];  // the links of group g are group_begin[g] .. group_begin[g + 1] - 1
  int32_t source[8];               // row j of each link
  int32_t type[8];                 // MOD_AMP..MOD_PR2; the diagonal is an MOD_AMP link reading the constant 1
  float w[8];                      // (1 / divisor) * amount
  float values[8];                 // the value each link reads: the source's latest published output
};

struct modmatrix_plan {
  mod_destination destinations[8];
  int32_t published[8];  // bit k: cell [i][k] has a non-zero type and so carries oscillator i's output
  int32_t fan_count[8];  // per source: the links that read it
  int8_t fan_destination[8][8];
  int8_t fan_link[8][8];
  float last_out[8];
  int32_t last_wrapped[8];
  uint32_t pitch_valid;  // bit i: the pitch cache of oscillator i holds a result for pitch_base_bits
  uint32_t pitch_base_bits;
  uint32_t pitch_note_bits[8];
  float pitch_hz[8];  // midi_to_hz_std of the cached note and base
};

// Gathers the wiring of `state` for the next block; keeps the pitch cache of an earlier plan.
void modmatrix_plan_make(modmatrix_plan* plan, const synth_state* state);
// Renders `frames` (at most 256) samples: voices[v][n] is cell [v][v]'s value after sample n. The
// cells' values and wrapped flags are written back to the record at the end.
void modmatrix_render(synth_state* state, modmatrix_plan* plan, float (*voices)[256], int32_t frames);
