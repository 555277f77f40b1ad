// The visuals' analysis windows: each voice's signal summarised every 1470 samples for the frame pass.
#include "apps/kelvarin/visuals_analysis.hpp"

#include <cmath>

#include "toolset/atomics.hpp"

namespace {

struct private_window_summary {
  bool edge;
  float stats[4];  // avg, rms, min, max of the samples (the window holds sample + 1)
};

// One pass over the window. Each sum runs in sample order, as the separate mean, RMS and extremes would
// take it, so the figures are the same to the bit. An edge is a step of more than 0.5 between
// neighbouring samples; the walk starts from the previous window's last sample, which precedes slot 0.
private_window_summary private_summarise(const float* window, float before) {
  float sum = 0.0f, squares = 0.0f, low = window[0], high = window[0];
  bool edge = false;
  for (int32_t k = 0; k < OSC_BUFFER_N; ++k) {
    float x = window[k];
    sum += x;
    squares += x * x;
    if (x < low) low = x;
    if (x > high) high = x;
    edge |= std::fabs(x - before) > 0.5f;
    before = x;
  }
  // The RMS measure is the RMS of (sample + 1) less 1, not the RMS of the samples.
  return {edge,
          {sum / float(OSC_BUFFER_N) - 1.0f, std::sqrt(squares / float(OSC_BUFFER_N)) - 1.0f, low - 1.0f, high - 1.0f}};
}

void private_publish_window(int32_t voice, const float* window, float before) {
  private_window_summary summary = private_summarise(window, before);
  for (frame_modulation& e : modmatrix_of[voice]) {
    int32_t function = load_relaxed(e.function);
    float statistic = uint32_t(function) < uint32_t(FRAME_FUNCTIONS) ? summary.stats[function] : 0.0f;
    bool is_trigger = load_relaxed(e.type) == FRAME_TRIGGER;
    int32_t trigger = is_trigger && summary.edge ? 1 : 0;
    store_relaxed(e.trigger, trigger);
    store_relaxed(e.value, is_trigger ? statistic * float(trigger) : statistic);
  }
}

// Each sample as the window holds it.
void private_store(float* __restrict window, const float* __restrict samples, int32_t count) {
  for (int32_t n = 0; n < count; ++n) window[n] = samples[n] + 1.0f;
}

}  // namespace

void vfx_accept_block(const float* samples, int32_t count, int32_t voice) {
  if (uint32_t(voice) >= 8u) return;
  float* window = osc_buffer[voice];
  int32_t k = 0;
  while (k < count) {
    // The display thread may reset the position at any time; one out of range starts again at 0.
    int32_t seen = load_relaxed(osc_buffer_i[voice]);
    int32_t i = seen < 0 || seen >= OSC_BUFFER_N ? 0 : seen;
    int32_t stretch = OSC_BUFFER_N - 1 - i < count - k ? OSC_BUFFER_N - 1 - i : count - k;
    private_store(window + i, samples + k, stretch);
    k += stretch;
    i += stretch;
    if (k == count) {
      if (load_relaxed(osc_buffer_i[voice]) == seen) store_relaxed(osc_buffer_i[voice], i);
      return;
    }
    float before = window[i];  // the last slot completes the window
    window[i] = samples[k++] + 1.0f;
    store_relaxed(osc_buffer_i[voice], 0);
    private_publish_window(voice, window, before);
  }
}

void vfx_accept_sample(float sample, int32_t voice) { vfx_accept_block(&sample, 1, voice); }
