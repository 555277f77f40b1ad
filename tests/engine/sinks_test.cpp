// The two sample sinks: the visuals' window analysis and the panel's history, plus the MIDI activity flag.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

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

TEST(PanelHistory, MidiActivityIsReadAndCleared) {
  EXPECT_EQ(midi_in_activity(), 0);
  oui_accept_midi();
  EXPECT_EQ(midi_in_activity(), 1);
  EXPECT_EQ(midi_in_activity(), 0);
}
