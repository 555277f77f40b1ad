// The two sample sinks: the visuals' window analysis and the panel's history.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "apps/kelvarin/visuals_analysis.hpp"
#include "tests/engine/engine_fixture.hpp"

namespace {

// Feeds one whole window of voice 0 from `signal(n)`.
void feed_window(const std::function<float(int)>& signal, int offset = 0) {
  for (int n = 0; n < OSC_BUFFER_N; ++n) vfx_accept_sample(signal(offset + n), 0);
}

void entries(int32_t type, int32_t function) {
  for (frame_modulation& e : modmatrix_of[0]) e.type = type, e.function = function;
}

}  // namespace

TEST(VisualsAnalysis, WindowStatistics) {
  engine_reset();
  entries(1, 0);
  for (int f = 0; f < 4; ++f) modmatrix_of[0][f].function = f;
  feed_window([](int) { return 0.0f; });
  for (const frame_modulation& e : modmatrix_of[0]) EXPECT_NEAR(e.value, 0.0f, 1e-6f);
  feed_window([](int) { return 0.5f; });
  EXPECT_NEAR(modmatrix_of[0][1].value, 0.5f, 1e-5f);  // the RMS measure of a constant is the constant
  const float r = 0.3f;  // a zero-mean square of RMS r
  feed_window([&](int n) { return n % 2 ? r : -r; });
  EXPECT_NEAR(modmatrix_of[0][0].value, 0.0f, 1e-5f);
  EXPECT_NEAR(modmatrix_of[0][1].value, std::sqrt(1 + r * r) - 1, 1e-4f);
  EXPECT_NEAR(modmatrix_of[0][2].value, -r, 1e-6f);
  EXPECT_NEAR(modmatrix_of[0][3].value, r, 1e-6f);
  EXPECT_EQ(osc_buffer_i[0], 0);
  vfx_accept_sample(1.0f, 8);  // voices above 7 are dropped
  vfx_accept_sample(1.0f, -1);
}

TEST(VisualsAnalysis, TriggersFireOnJumpsOnly) {
  engine_reset();
  entries(4, 3);
  feed_window([](int n) { return n < 700 ? -0.5f : 0.5f; });  // one jump
  for (const frame_modulation& e : modmatrix_of[0]) {
    EXPECT_EQ(e.trigger, 1);
    EXPECT_NEAR(e.value, 0.5f, 1e-6f);
  }
  feed_window([](int n) { return 0.1f * float(std::sin(2 * std::numbers::pi * 440.0 * n / 44100.0)); });
  for (const frame_modulation& e : modmatrix_of[0]) {
    EXPECT_EQ(e.trigger, 0);
    EXPECT_EQ(e.value, 0.0f);
  }
  // The jump from the previous window's last sample into this window counts.
  feed_window([](int) { return 0.9f; });
  EXPECT_EQ(modmatrix_of[0][0].trigger, 1);
}

TEST(PanelHistory, GroupsOfFourBecomeTriplesOnceThePanelIsMade) {
  engine_reset();
  oui_accept_sample(0.5f, 0);
  EXPECT_EQ(oui_history.window_fill[0], 0);  // dropped before the panel exists
  oui_history_begin();
  EXPECT_EQ(must_init_p, 0);
  EXPECT_FLOAT_EQ(oui_history.history[5][100].low, 0.49f);
  for (float s : {-1.0f, 0.0f, 1.0f, INFINITY, 0.0f}) oui_accept_sample(s, 2);
  const history_triple& t = oui_history.history[2][0];
  EXPECT_FLOAT_EQ(t.low, 0.0f);
  EXPECT_FLOAT_EQ(t.high, 1.0f);  // the infinite sample came in as 1.0
  EXPECT_FLOAT_EQ(t.marker, std::sqrt((0.0f + 0.25f + 1.0f + 1.0f) / 4.0f));
  EXPECT_EQ(oui_history.history_pos[2], 1);
  EXPECT_EQ(oui_history.window_fill[2], 1);
  for (int n = 0; n < 4 * 512; ++n) oui_accept_sample(0.0f, 2);
  EXPECT_EQ(oui_history.history_pos[2], 1);  // the ring wrapped
  oui_accept_sample(0.0f, 9);
  oui_history_begin();  // a later attach changes nothing
  EXPECT_EQ(oui_history.history_pos[2], 1);
}

// The callback hands over a voice's block at once: any split must leave what one sample at a time leaves,
// across window ends and group ends, with infinite and NaN samples among them.
TEST(Sinks, BlocksLeaveWhatSampleBySampleFeedingLeaves) {
  std::vector<float> signal(5000);
  for (size_t n = 0; n < signal.size(); ++n) signal[n] = 0.8f * float(std::sin(0.05 * double(n))) + (n % 97 == 0 ? 0.7f : 0.0f);
  signal[1469] = INFINITY;
  signal[2000] = NAN;
  auto fresh = [] {
    engine_reset();
    oui_history_begin();
    for (int f = 0; f < VFX_LAYERS; ++f) modmatrix_of[3][f].type = f % 2 ? 4 : 1, modmatrix_of[3][f].function = f;
  };
  fresh();
  for (float s : signal) oui_accept_sample(s, 3), vfx_accept_sample(s, 3);
  kelvarin_ui_history by_sample = oui_history;
  std::vector<float> window(osc_buffer[3], osc_buffer[3] + OSC_BUFFER_N);
  int32_t position = osc_buffer_i[3];
  frame_modulation entries_by_sample[VFX_LAYERS];
  std::memcpy(entries_by_sample, modmatrix_of[3], sizeof entries_by_sample);

  fresh();
  size_t at = 0;
  for (int32_t size : {1, 3, 256, 1209, 1470, 7, 1471, 583}) {
    oui_accept_block(signal.data() + at, size, 3);
    vfx_accept_block(signal.data() + at, size, 3);
    at += size_t(size);
  }
  ASSERT_EQ(at, signal.size());
  EXPECT_EQ(std::memcmp(&by_sample, &oui_history, sizeof by_sample), 0);
  EXPECT_EQ(std::memcmp(window.data(), osc_buffer[3], sizeof(float) * OSC_BUFFER_N), 0);
  EXPECT_EQ(osc_buffer_i[3], position);
  EXPECT_EQ(std::memcmp(entries_by_sample, modmatrix_of[3], sizeof entries_by_sample), 0);
  EXPECT_EQ(entries_by_sample[1].trigger, 1);  // the pulses made edges
}
