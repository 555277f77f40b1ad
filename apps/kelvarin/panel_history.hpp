// The panel's live signal history fed from the audio thread, and the MIDI activity flag it shows.
#pragma once
#include <cstdint>

// For the panel's drawing code:
// - Draw voice v's plot from `oui_history.history[v]`: 512 triples (marker = RMS, low, high) of the
//   voice's signal mapped to 0..1, one triple per four samples, a ring whose next write is at
//   `history_pos[v]` (so the oldest triple is at history_pos and the newest just before it). Read the
//   words with load_relaxed (toolset/atomics.hpp); a triple being rewritten may be seen half-new.
// - On the panel's first attach, once the rest of the panel record is complete, call
//   oui_history_begin(): it resets the history to flat lines and publishes must_init_p = 0, after which
//   the audio thread feeds it. Later attaches must not call it again (it does nothing then anyway).
// - The "Midi-IN activity" label shows midi_in_activity(), which reads and clears the flag.
// The MIDI callback calls oui_accept_midi() once per packet; the audio callback calls
// oui_accept_block with every voice's block (each sample as oui_accept_sample would take it).

constexpr int32_t HISTORY_LENGTH = 512;

struct history_triple {
  float marker;  // RMS of the four samples
  float low;
  float high;
};

struct kelvarin_ui_history {
  history_triple history[8][HISTORY_LENGTH];
  int32_t history_pos[8];  // next triple to write, 0..511
  float window[8][4];      // the group being collected, each sample as (sample + 1) * 0.5
  int32_t window_fill[8];  // 0..4
};

extern kelvarin_ui_history oui_history;
extern int32_t must_init_p;      // 1 until the panel is made; samples are dropped meanwhile
extern int32_t midi_activity_p;  // set by every MIDI packet, cleared when the panel shows it

// Every triple (0.5, 0.49, 0.51), a flat line in the middle of the plot; positions and fills 0.
void kelvarin_ui_history_make(kelvarin_ui_history* panel);
// First attach of the panel (display thread): makes oui_history, then publishes must_init_p = 0.
void oui_history_begin();

// Audio thread. Ignored while must_init_p is set or for voices outside 0..7; an infinite sample is
// taken as 1.0 (a NaN is kept and spoils only that stretch of the plot).
void oui_accept_sample(float sample, int32_t voice);
// The same for `count` samples of one voice in turn (the audio callback hands over a block per voice).
void oui_accept_block(const float* samples, int32_t count, int32_t voice);
// Collects one sample: a completed group of four becomes the triple at history_pos.
void kelvarin_ui_next_sample(kelvarin_ui_history* panel, int32_t voice, float sample);

void oui_accept_midi();      // MIDI thread
int32_t midi_in_activity();  // display thread: the flag, cleared
