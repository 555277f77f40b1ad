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
// Everything the evaluation reads from the record apart from the running state is gathered once per
// block: per destination its generator (by kind), its frequency (note and divisor), its parameters, its
// restart flag and the cells that act on it (types 2..9 plus the diagonal), so zero and "out" cells
// cost nothing per sample. Results are bit-identical to calling modmatrix_osc once per sample; an edit
// of a cell or an oscillator setting, and a note-on, take effect at the next block (within 5.8 ms)
// instead of the next sample.

// Links grouped by what they act on, each group in source order: only the pitch group mixes two types
// ("phs" reads the frequency that earlier "frq" cells left), the others each feed one sum, so the
// grouping changes no result and the per-sample loops need no dispatch on the type.
enum mod_group : int32_t { GROUP_PITCH, GROUP_LEVEL, GROUP_MIX, GROUP_SH, GROUP_TRG, GROUP_PR1, GROUP_PR2, GROUPS };

// The plan's value slots: each oscillator's latest output, then the constant 1 the diagonal link reads,
// then one slot per link for the cell's stored value (read in a block's first sample by a link whose
// source comes at or after its destination, so has not yet run in this block).
constexpr int32_t SLOT_ONE = VOICES;
constexpr int32_t SLOT_STORED = VOICES + 1;

struct mod_destination {
  int32_t kind;     // selects the generator
  int32_t started;  // as read at the start of the block; 1 after its first sample
  float hz;         // midi_to_hz_std(note) / divisor
  float increment;  // hz / 44100: the phase increment while no "frq" cell acts
  float p1, p2;     // the parameters before modulation
  float level;      // the level summed over the leading level links that read a constant (the diagonal)
  uint32_t groups;  // bit g: group g has links to walk per sample
  int32_t count;    // links
  int8_t begin[GROUPS], end[GROUPS];  // the links group g walks per sample are begin[g] .. end[g] - 1
  int8_t source[8];                // row j of each link
  uint8_t slot[8];                 // the value slot each link reads
  int8_t frq[8];                   // pitch links: 1 "frq", 0 "phs"
  float w[8];                      // (1 / divisor) * amount
};

struct modmatrix_plan {
  mod_destination destinations[8];
  int32_t published[8];  // bit k: cell [i][k] has a non-zero type and so carries oscillator i's output
  float slots[SLOT_STORED + 64];
  int32_t wrapped[8];    // oscillator i's phase passed 1.0 in its latest sample
  uint32_t pitch_valid;  // bit i: the pitch cache of oscillator i holds a result for pitch_base_bits
  uint32_t pitch_base_bits;
  uint32_t pitch_note_bits[8];
  float pitch_hz[8];  // midi_to_hz_std of the cached note and base
};

// Gathers the wiring and settings of `state` for the next block; keeps the pitch cache of an earlier plan.
void modmatrix_plan_make(modmatrix_plan* plan, const synth_state* state);
// Renders `frames` (at most 256) samples: voices[v][n] is cell [v][v]'s value after sample n. The
// cells' values and wrapped flags, and the restart flags, are written back to the record.
void modmatrix_render(synth_state* state, modmatrix_plan* plan, float (*voices)[256], int32_t frames);
