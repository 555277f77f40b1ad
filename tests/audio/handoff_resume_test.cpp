// The preset hand-over after a stall of the audio thread: direct while stalled, by hand-over once blocks run again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/engine/engine_fixture.hpp"
#include "toolset/atomics.hpp"

TEST(Handoff, AfterAStallLoadsGoDirectUntilBlocksRunThenTheAudioThreadTakesThemAgain) {
  engine_reset();
  synth_state incoming = synths[1];
  incoming.oscs[0].note = 69.0f;
  synth_handoff_enable(1);
  synth_apply_loaded(&incoming);  // nobody serves: noticed, applied here
  ASSERT_EQ(load_acquire(synth_current), 1);
  synth_apply_loaded(&incoming);  // still stalled: at once, no second wait for a stream that is not there
  ASSERT_EQ(load_acquire(synth_current), 0);

  engine_frames frames;
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0}, flips_inside{0};
  std::thread stream([&] {
    while (!stop.load()) {
      int32_t before = load_acquire(synth_current);
      frames.run();
      if (load_acquire(synth_current) != before) flips_inside++;
      blocks++;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  while (blocks.load() < 3) std::this_thread::yield();
  for (int i = 0; i < 3; ++i) synth_apply_loaded(&incoming);
  stop = true;
  stream.join();
  synth_handoff_enable(0);
  EXPECT_EQ(flips_inside.load(), 3) << "each load flipped the records inside an audio block";
}
