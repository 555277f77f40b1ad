// The audio callback: silent start, silence at volume 0 and gain 0, the crossfade after a load, the sinks.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/engine_fixture.hpp"

TEST(AudioCallback, SilentStartThenExactSilenceAtVolumeZeroAndGainZero) {
  engine_reset();
  oui_history_begin();
  double phase = synth().oscs[0].phase;
  engine_frames frames;
  for (int b = 0; b < 517; ++b) {
    frames.run();
    ASSERT_TRUE(frames.silent()) << b;
  }
  double now = synth().oscs[0].phase;  // the packed phase is copied, never bound
  EXPECT_EQ(now, phase);
  EXPECT_EQ(osc_buffer_i[0], 0);
  EXPECT_EQ(oui_history.window_fill[0], 0);
  frames.run();  // block 517 is the first rendered, silent at volume 0
  now = synth().oscs[0].phase;
  EXPECT_NE(now, phase);
  EXPECT_EQ(init_p, 0);
  for (int b = 0; b < 20; ++b) {
    frames.run();
    ASSERT_TRUE(frames.silent()) << b;
  }
  for (voice_params& v : synth().voices) v.volume = 1.0f;
  frames.run();
  EXPECT_FALSE(frames.silent());
  gain = 0.0f;
  frames.run();
  EXPECT_TRUE(frames.silent());
}

TEST(AudioCallback, CentredVoiceAtFullVolumeReachesEachSideAtMinus3dB) {
  engine_reset();
  synth().voices[0].volume = 1.0f;
  synth().voices[0].hp_cutoff = 0.0f;
  engine_frames frames;
  frames.skip_silent_start();
  float peak = 0;
  for (int b = 0; b < 100; ++b) {
    frames.run();
    if (b >= 50) peak = std::max(peak, block_peak(frames.frame.left));
  }
  EXPECT_NEAR(peak, 0.7071f * 1.01774f, 0.001f);  // the default 70 Hz high-pass lifts 440 Hz by 1.8 %
}

// The crossfade acts on the fader position: near its end the old sound is already below the fader's floor.
TEST(AudioCallback, LoadCrossfadesOver44Blocks) {
  engine_reset();
  engine_frames frames;
  frames.skip_silent_start();
  synth().voices[0].volume = 1.0f;  // the old sound
  frames.run();
  synth_state next = synth();
  next.voices[0].volume = 0.0f;  // the new one is silent
  synth_state& old = synth();
  engine_load(next);
  for (int b = 1; b <= 44; ++b) {
    frames.run();
    if (b == 22) {
      EXPECT_NEAR(crossfade_amp(1, synth().fade), 0.841f, 0.02f);
      EXPECT_NEAR(crossfade_amp(1, old.fade), 0.841f, 0.02f);
    }
    if (b <= 22) { EXPECT_FALSE(frames.silent()) << b; }
    if (b < 44) { EXPECT_LT(synth().fade, 1.0f) << b; }
  }
  EXPECT_EQ(synth().fade, 1.0f);
  EXPECT_EQ(old.fade, 0.0f);
  EXPECT_TRUE(frames.silent());
}

// Both sinks receive the front record's raw voices: 8 x 256 samples per block, in order.
TEST(AudioCallback, SinksReceiveEveryFrontVoiceSampleInOrder) {
  engine_reset();
  oui_history_begin();
  synth().oscs[3].kind = OSC_BSW;
  synth().voices[3].delay_wet = 1.0f;  // the chain must not touch what the sinks see
  synth().voices[3].lp_cutoff = 300.0f;
  engine_frames frames;
  frames.skip_silent_start();
  synth_state copy = synth();
  keep_operators(copy, synth_back());
  mt_prng before = prng;
  frames.run();
  frames.run();
  prng = before;
  for (int n = 0; n < 512; ++n) {
    modmatrix_osc(&copy);
    for (int v = 0; v < 8; ++v) ASSERT_EQ(osc_buffer[v][n] - 1.0f, copy.cells[v][v].value + 1.0f - 1.0f) << n;
  }
  for (int v = 0; v < 8; ++v) {
    EXPECT_EQ(osc_buffer_i[v], 512);
    EXPECT_EQ(oui_history.history_pos[v], 127);  // 128 groups of four, the last still in the window
    EXPECT_EQ(oui_history.window_fill[v], 4);
  }
}
