// Presets reaching a playing audio thread by hand-over, and the bounds that keep runaway patches finite.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "tests/engine/engine_fixture.hpp"
#include "toolset/atomics.hpp"

namespace {

// A record as a preset load would bring it: a loud 880 Hz voice 0 and a marker in a reserved word.
synth_state loaded_record() {
  synth_state r;
  std::memcpy(&r, &synths[1], sizeof r);
  r.oscs[0].note = 69.0f;
  r.oscs[0].phase = 0.5;
  r.voices[0].volume = 1.0f;
  r.voices[0].reserved[3] = 42.0f;
  return r;
}

// Runs audiofn on its own thread until told to stop, as a device would.
struct playing_stream {
  engine_frames frames;
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread thread;
  playing_stream() {
    thread = std::thread([this] {
      while (!stop.load()) {
        frames.run();
        blocks++;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
      }
    });
  }
  ~playing_stream() {
    stop = true;
    thread.join();
  }
};

}  // namespace

TEST(Handoff, APlayingStreamAppliesTheLoadAtItsNextBlock) {
  engine_reset();
  double front_phase = synths[0].oscs[0].phase;
  synth_state incoming = loaded_record();
  synth_handoff_enable(1);
  {
    playing_stream stream;
    while (stream.blocks.load() < 3) std::this_thread::yield();
    synth_apply_loaded(&incoming);  // returns once the audio thread has applied it
    EXPECT_EQ(load_acquire(synth_current), 1);
    EXPECT_EQ(load_relaxed(synth().oscs[0].note), 69.0f);
    EXPECT_EQ(load_relaxed(synth().voices[0].reserved[3]), 42.0f);
    synth_state copy;
    synth_snapshot(&copy);  // a copy the audio thread took between two blocks
    EXPECT_EQ(copy.oscs[0].note, 69.0f);
    EXPECT_EQ(copy.voices[0].reserved[3], 42.0f);
  }
  synth_handoff_enable(0);
  // The stream stopped during the silent start, so the phase is the one the front record had.
  double phase = synths[1].oscs[0].phase;
  EXPECT_EQ(phase, front_phase);
}

TEST(Handoff, AStoppedStreamIsNoticedAndTheLoadAppliedDirectly) {
  engine_reset();
  synth_state incoming = loaded_record();
  synth_handoff_enable(1);  // nobody serves: as when the stream failed to start
  auto start = std::chrono::steady_clock::now();
  synth_apply_loaded(&incoming);
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(waited, 2.0);
  EXPECT_EQ(load_acquire(synth_current), 1);
  EXPECT_EQ(synth().oscs[0].note, 69.0f);
  EXPECT_EQ(synth().fade, 0.0f);
  synth_state copy;
  synth_snapshot(&copy);  // the hand-over is off now: copied at once
  EXPECT_EQ(copy.oscs[0].note, 69.0f);
  engine_frames frames;  // and nothing is left waiting to be applied a second time
  frames.run();
  EXPECT_EQ(load_acquire(synth_current), 1);
}

TEST(Bounds, FeedbackLoopsThroughTheMatrixStayFiniteAndBounded) {
  engine_reset();
  synth_state& s = synth();
  // Two oscillators lifting each other's level and adding each other's output: without a bound this
  // grows until the float overflows.
  for (int a = 0; a < 2; ++a) {
    int b = 1 - a;
    s.cells[a][b] = {MOD_MIX, 1.0f, 0.5f, 0.0f, 0};
    s.cells[b][a] = {MOD_AMP, 1.0f, 0.5f, 0.0f, 0};
    s.voices[a].volume = 1.3f;
    s.voices[a].delay_wet = 1.0f;
    s.voices[a].delay_feedback = 1.0f;
    s.voices[a].lp_cutoff = 2000.0f;
    s.voices[a].lp_resonance = 12.0f;
  }
  gain = 3.0f;
  engine_frames frames;
  frames.skip_silent_start();
  float peak = 0.0f, osc_peak = 0.0f;
  for (int block = 0; block < 2000; ++block) {
    frames.run();
    for (int k = 0; k < 256; ++k) {
      ASSERT_TRUE(std::isfinite(frames.frame.left[k]) && std::isfinite(frames.frame.right[k]));
      peak = std::max({peak, std::fabs(frames.frame.left[k]), std::fabs(frames.frame.right[k])});
    }
    for (int v = 0; v < 2; ++v) osc_peak = std::max(osc_peak, std::fabs(s.cells[v][v].value));
  }
  EXPECT_LE(osc_peak, 64.0f);  // +36 dB over full scale
  EXPECT_GT(osc_peak, 10.0f);  // the loop really ran away: the bound is what held it
  EXPECT_LE(peak, 8.0f);  // +18 dB over full scale
  gain = 1.0f;
}
