// Test fixture for the engine: the start-up state, a block runner for audiofn, the loader's flip.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstring>

#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/modmatrix.hpp"
#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "apps/kelvarin/voice_chain.hpp"

// Puts the whole engine back to its start-up state (the delay lines are made once and then cleared).
inline void engine_reset() {
  static bool lines = delay_lines_make() != 0;
  oscs_make();
  for (synth_state& s : synths)
    for (auto& row : s.cells)
      for (mod_cell& c : row) c.value = 0.0f, c.wrapped = 0;
  for (int v = 0; lines && v < VOICES; ++v) std::fill_n(array_data(delay_lines[v]), array_length(delay_lines[v]), 0.0f);
  std::fill_n(delay_line_tapin, VOICES, 0), std::fill_n(delay_line_tapout, VOICES, 0), std::fill_n(lps, VOICES, lp_filter{}), std::fill_n(chamberlins, VOICES, chamberlin_filter{});
  gain = 1.0f, init_p = 1, synth_current = 0, must_init_p = 1;
  modmatrix_make();
  kelvarin_ui_history_make(&oui_history);
}

// An audio frame as the audio layer hands it out, past the silent start unless asked; the counter
// advances after every callback.
struct engine_frames {
  audio_frame frame{};
  explicit engine_frames(bool past_silent_start = true) {
    audio_frame_make(&frame);
    frame.report_time = 1e300;  // no statistics line in tests
    frame.frame_counter = past_silent_start ? 517 : 0;
  }
  ~engine_frames() { audio_frame_delete(&frame); }
  void run(int blocks = 1) {
    for (int b = 0; b < blocks; ++b, frame.frame_counter++) audiofn(nullptr, &frame);
  }
  float peak() const {
    float p = 0;
    for (int k = 0; k < 256; ++k) p = std::max({p, std::fabs(frame.left[k]), std::fabs(frame.right[k])});
    return p;
  }
};

// The feedback-FM operator arrays are storage of the record they were made for: a record copied over
// another keeps the destination's.
inline void keep_operators(synth_state& to, const synth_state& operators_of) {
  for (int i = 0; i < VOICES; ++i) {
    to.oscs[i].fm_saw.operators = operators_of.oscs[i].fm_saw.operators;
    to.oscs[i].fm_square.operators = operators_of.oscs[i].fm_square.operators;
  }
}

// The loader's flip: the new record into the back (keeping its operator arrays), phases kept, fade 0.
inline void engine_load(const synth_state& next) {
  synth_state saved = synth_back();
  synth_back() = next;
  keep_operators(synth_back(), saved);
  for (int i = 0; i < VOICES; ++i) synth_back().oscs[i].phase = synth().oscs[i].phase;
  synth_back().fade = 0.0f;
  synth_flip();
}
