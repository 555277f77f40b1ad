// Test fixture for the engine: the start-up state, a block runner for audiofn, the loader's flip.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstring>

#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/modmatrix.hpp"
#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "apps/kelvarin/voice_chain.hpp"

// Puts the whole engine back to its start-up state (the delay lines are made once and then cleared).
inline void engine_reset() {
  static bool lines = delay_lines_make() != 0;
  (void)lines;
  oscs_make();
  for (synth_state& s : synths) {
    for (auto& row : s.cells) {
      for (mod_cell& c : row) c.value = 0.0f, c.wrapped = 0;
    }
  }
  gain = 1.0f;
  init_p = 1;
  synth_current = 0;
  for (int v = 0; v < VOICES; ++v) {
    std::fill_n(array_data(delay_lines[v]), array_length(delay_lines[v]), 0.0f);
    delay_line_tapin[v] = delay_line_tapout[v] = 0;
    lps[v] = lp_filter{};
    chamberlins[v] = chamberlin_filter{};
  }
  modmatrix_make();
  kelvarin_ui_history_make(&oui_history);
  must_init_p = 1;
}

// An audio frame as the audio layer hands it out: the counter advances after every callback.
struct engine_frames {
  audio_frame frame{};
  engine_frames(bool past_silent_start = true) {
    audio_frame_make(&frame);
    frame.report_time = 1e300;  // no statistics line in tests
    while (past_silent_start && audio_frame_in_ms(&frame) < 3000.0) frame.frame_counter++;
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
