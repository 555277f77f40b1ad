// Recording under RealtimeSanitizer: the audio side's copy into the ring allocates, locks and blocks on
// nothing, block after block, while the writer thread drains the ring into the file.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "apps/kelvarin/recorder.hpp"
#include "tests/engine/engine_fixture.hpp"

extern "C" void __rtsan_realtime_enter();
extern "C" void __rtsan_realtime_exit();

TEST(RealtimeRecording, TheBlockAndItsCopyIntoTheRingAreRealtimeSafe) {
  char folder[] = "/tmp/kv-rtsan-rec-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  setenv("KELVARIN_RESOURCES", folder, 1);
  engine_reset();
  oui_history_begin();
  synth_state loud = synth();
  for (voice_params& v : loud.voices) v.volume = 0.8f;
  engine_load(loud);
  engine_frames frames;
  ASSERT_EQ(recorder_start(), 1);
  constexpr int blocks = 800;  // more than the ring holds: the writer must drain while the blocks run
  for (int b = 0; b < blocks; ++b) {
    __rtsan_realtime_enter();
    audiofn(nullptr, &frames.frame);
    recorder_accept(frames.frame.left, frames.frame.right, AUDIO_BLOCK);
    __rtsan_realtime_exit();
    frames.frame.frame_counter++;
    if (b % 8 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a block's pace, roughly
  }
  recorder_stop();
  ASSERT_TRUE(recorder_wait_idle(10.0));
  SF_INFO info{};
  SNDFILE* file = sf_open(recorder_path().c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  sf_close(file);
  EXPECT_EQ(info.frames, sf_count_t(blocks) * AUDIO_BLOCK) << "every block reached the file";
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  std::filesystem::remove_all(folder);
}
