// Test fixture for the engine: fresh records, filters and delay lines, and a block runner for audiofn.
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
  for (int v = 0; v < 8; ++v) {
    float* data = array_data(delay_lines[v]);
    if (data) std::memset(data, 0, sizeof(float) * size_t(array_length(delay_lines[v])));
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
  engine_frames() {
    audio_frame_make(&frame);
    frame.report_time = 1e300;  // no statistics line in tests
  }
  ~engine_frames() { audio_frame_delete(&frame); }
  void run() {
    audiofn(nullptr, &frame);
    frame.frame_counter++;
  }
  void skip_silent_start() {
    while (audio_frame_in_ms(&frame) < 3000.0) run();
  }
  bool silent() const {
    for (int k = 0; k < 256; ++k) {
      if (frame.left[k] != 0.0f || frame.right[k] != 0.0f) return false;
    }
    return true;
  }
};

// The feedback-FM operator arrays are storage of the record they were made for: a record copied over
// another keeps the destination's.
inline void keep_operators(synth_state& to, const synth_state& operators_of) {
  for (int i = 0; i < 8; ++i) {
    to.oscs[i].fm_saw.operators = operators_of.oscs[i].fm_saw.operators;
    to.oscs[i].fm_square.operators = operators_of.oscs[i].fm_square.operators;
  }
}

// Largest magnitude in a block.
inline float block_peak(const float* b, int n = 256) {
  float peak = 0;
  for (int k = 0; k < n; ++k) peak = std::max(peak, std::fabs(b[k]));
  return peak;
}

// The loader's flip: the complete new record into the back (keeping its operator arrays), the phases
// carried over from the front, fade 0, flip.
inline void engine_load(const synth_state& next) {
  synth_state& back = synth_back();
  synth_state saved = back;
  back = next;
  keep_operators(back, saved);
  for (int i = 0; i < 8; ++i) back.oscs[i].phase = synth().oscs[i].phase;
  back.fade = 0.0f;
  synth_flip();
}
