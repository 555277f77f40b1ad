// The panel's per-voice signal history and MIDI activity flag, written by the audio and MIDI threads.
#include "apps/kelvarin/panel_history.hpp"

#include <cmath>

#include "pure/stats.hpp"
#include "toolset/atomics.hpp"

kelvarin_ui_history oui_history;
int32_t must_init_p = 1;
int32_t midi_activity_p = 0;

void kelvarin_ui_history_make(kelvarin_ui_history* panel) {
  for (int32_t v = 0; v < 8; ++v) {
    for (history_triple& t : panel->history[v]) {
      store_relaxed(t.marker, 0.5f);
      store_relaxed(t.low, 0.49f);
      store_relaxed(t.high, 0.51f);
    }
    store_relaxed(panel->history_pos[v], 0);
    panel->window_fill[v] = 0;
  }
}

void oui_history_begin() {
  if (!load_acquire(must_init_p)) return;
  kelvarin_ui_history_make(&oui_history);
  store_release(must_init_p, 0);
}

namespace {

// A completed group of four becomes the triple at history_pos.
void private_push_triple(kelvarin_ui_history* panel, int32_t voice, const float* w) {
  float lowhigh[2];
  minmax_f(w, 4, lowhigh);
  int32_t pos = load_relaxed(panel->history_pos[voice]);
  if (pos < 0 || pos >= HISTORY_LENGTH) pos = 0;
  history_triple& t = panel->history[voice][pos];
  store_relaxed(t.marker, rms_f(w, 4));
  store_relaxed(t.low, lowhigh[0]);
  store_relaxed(t.high, lowhigh[1]);
  store_relaxed(panel->history_pos[voice], (pos + 1) % HISTORY_LENGTH);
}

// An infinite sample is taken as 1.0 when `clip_infinite` is set (samples from the audio callback).
void private_collect(kelvarin_ui_history* panel, int32_t voice, const float* samples, int32_t count,
                     bool clip_infinite) {
  int32_t fill = panel->window_fill[voice];
  if (fill < 0 || fill > 4) fill = 0;
  float* w = panel->window[voice];
  for (int32_t n = 0; n < count; ++n) {
    if (fill == 4) {
      private_push_triple(panel, voice, w);
      fill = 0;
    }
    float sample = samples[n];
    if (clip_infinite && std::isinf(sample)) sample = 1.0f;
    w[fill++] = (sample + 1.0f) * 0.5f;
  }
  panel->window_fill[voice] = fill;
}

}  // namespace

void kelvarin_ui_next_sample(kelvarin_ui_history* panel, int32_t voice, float sample) {
  if (uint32_t(voice) >= 8u) return;
  private_collect(panel, voice, &sample, 1, false);
}

void oui_accept_block(const float* samples, int32_t count, int32_t voice) {
  if (uint32_t(voice) >= 8u || load_acquire(must_init_p)) return;
  private_collect(&oui_history, voice, samples, count, true);
}

void oui_accept_sample(float sample, int32_t voice) { oui_accept_block(&sample, 1, voice); }

void oui_accept_midi() { store_relaxed(midi_activity_p, 1); }

int32_t midi_in_activity() {
  int32_t active = load_relaxed(midi_activity_p);
  store_relaxed(midi_activity_p, 0);
  return active;
}
