// The recorder on its own: a writer outrun by the audio side keeps a gapless start (the editor's recordings
// have the acceptance test; the ring's hand-over runs under the thread sanitizer too).
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "apps/kelvarin/recorder.hpp"

namespace {

constexpr int block = 256;

// Blocks from `b` on of a ramp that never repeats within a test, so a lost or doubled block shows.
void push(int b, int blocks) {
  float left[block], right[block];
  for (int end = b + blocks; b < end; ++b) {
    for (int i = 0; i < block; ++i) left[i] = float(b * block + i) * 1e-6f, right[i] = -left[i];
    recorder_accept(left, right, block);
  }
}

// The file holds the ramp from its start, frame for frame; returns its frames.
size_t ramp_frames(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  std::vector<float> got(f ? size_t(info.frames) * 2 : 0);
  if (f) sf_readf_float(f, got.data(), info.frames), sf_close(f);
  for (size_t k = 0; k < got.size() / 2; ++k)
    if (got[2 * k] != float(k) * 1e-6f || got[2 * k + 1] != -got[2 * k]) return 0;
  return got.size() / 2;
}

}  // namespace

// Blocks as fast as memory goes: the writer, draining every few milliseconds, falls behind the ring; the
// audio side stops copying by itself and what was kept is the start, without a gap or a stale block.
TEST(Recorder, OutrunStopsAndKeepsAGaplessStart) {
  char folder[] = "/tmp/kv-recorder-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  setenv("KELVARIN_RESOURCES", folder, 1);
  ASSERT_EQ(recorder_start(), 1);
  const std::string path = recorder_path();
  int pushed = 0;
  for (; recorder_recording() && pushed < 100 * int(RECORDER_RING_FRAMES / block); ++pushed) push(pushed, 1);
  EXPECT_FALSE(recorder_recording());
  ASSERT_TRUE(recorder_wait_idle(10));
  size_t kept = ramp_frames(path);
  EXPECT_TRUE(kept >= size_t(RECORDER_RING_FRAMES) - block && kept < size_t(pushed) * block) << kept;
  std::filesystem::remove_all(folder);
}
