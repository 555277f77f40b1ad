// The preset hand-over when the audio thread is late or stops: a late load stays posted for its next
// block (never written beside it), a stopped stream hands the records back, a running one takes them again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/engine/engine_fixture.hpp"
#include "toolset/atomics.hpp"

namespace {
double seconds_of(void (*load)(const synth_state*), const synth_state* s) {
  auto start = std::chrono::steady_clock::now();
  load(s);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

TEST(Handoff, LateLoadsWaitForTheNextBlockStoppedStreamsGiveTheRecordsBackRunningOnesTakeThemAgain) {
  engine_reset();
  synth_state incoming = synths[1];
  incoming.oscs[0].note = 69.0f;
  synth_handoff_enable(1);
  engine_frames frames;

  synth_apply_loaded(&incoming);  // nobody serves: the load stays posted
  EXPECT_EQ(load_acquire(synth_current), 0);
  incoming.oscs[0].note = 70.0f;
  EXPECT_LT(seconds_of(synth_apply_loaded, &incoming), 0.05) << "no second wait while no block runs";
  EXPECT_EQ(load_acquire(synth_current), 0);
  frames.run();  // the late block takes the newest load
  EXPECT_EQ(load_acquire(synth_current), 1);
  EXPECT_EQ(synth().oscs[0].note, 70.0f);

  synth_apply_loaded(&incoming);  // posted again, and then no block for a second: stopped
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  incoming.oscs[0].note = 71.0f;
  synth_apply_loaded(&incoming);
  EXPECT_EQ(load_acquire(synth_current), 0) << "applied here, the posted one taken back";
  EXPECT_EQ(synth().oscs[0].note, 71.0f);
  frames.run();
  EXPECT_EQ(load_acquire(synth_current), 0) << "the taken-back load is not applied again";

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
