// The visuals' analysis windows: each voice's signal summarised every 1470 samples for the frame pass.
#include <cmath>

#include "apps/kelvarin/visuals_model.hpp"
#include "pure/stats.hpp"
#include "toolset/atomics.hpp"

namespace {

// An edge is a step of more than 0.5 between neighbouring samples; the walk starts from the previous
// window's last sample, which precedes slot 0 in time.
bool private_window_has_edge(const float* window, float before) {
  for (int32_t k = 0; k < OSC_BUFFER_N; ++k) {
    if (std::fabs(window[k] - before) > 0.5f) return true;
    before = window[k];
  }
  return false;
}

// The window holds sample + 1, so each statistic is taken less 1; the RMS measure is therefore the
// RMS of (sample + 1) less 1, not the RMS of the samples.
void private_window_statistics(const float* window, float stats[4]) {
  float lowhigh[2] = {1.0f, 1.0f};
  minmax_f(window, OSC_BUFFER_N, lowhigh);
  stats[0] = average_f(window, OSC_BUFFER_N) - 1.0f;
  stats[1] = rms_f(window, OSC_BUFFER_N) - 1.0f;
  stats[2] = lowhigh[0] - 1.0f;
  stats[3] = lowhigh[1] - 1.0f;
}

void private_publish_window(int32_t voice, const float* window, float before) {
  bool edge = private_window_has_edge(window, before);
  float stats[4];
  private_window_statistics(window, stats);
  for (frame_modulation& e : modmatrix_of[voice]) {
    int32_t function = load_relaxed(e.function);
    float statistic = uint32_t(function) < 4u ? stats[function] : 0.0f;
    bool is_trigger = load_relaxed(e.type) == 4;  // "trg"
    int32_t trigger = is_trigger && edge ? 1 : 0;
    store_relaxed(e.trigger, trigger);
    store_relaxed(e.value, is_trigger ? statistic * float(trigger) : statistic);
  }
}

}  // namespace

void vfx_accept_sample(float sample, int32_t voice) {
  if (uint32_t(voice) >= 8u) return;
  int32_t i = load_relaxed(osc_buffer_i[voice]);
  if (i < 0 || i >= OSC_BUFFER_N) i = 0;  // the display thread may reset the position at any time
  store_relaxed(osc_buffer_i[voice], i + 1);
  float* window = osc_buffer[voice];
  float before = window[i];
  window[i] = sample + 1.0f;
  if (i != OSC_BUFFER_N - 1) return;
  store_relaxed(osc_buffer_i[voice], 0);
  private_publish_window(voice, window, before);
}
