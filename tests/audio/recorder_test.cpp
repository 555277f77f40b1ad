// The recorder on its own: what goes in comes out sample for sample, a writer outrun by the audio side
// keeps a gapless start, and a folder that cannot be written records nothing.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "apps/kelvarin/recorder.hpp"

namespace {

constexpr int block = 256;

// Block b of a ramp that never repeats within a test, so a lost or doubled block shows.
void ramp(int b, float* left, float* right) {
  for (int i = 0; i < block; ++i) {
    left[i] = float(b * block + i) * 1e-6f;
    right[i] = -left[i];
  }
}

std::vector<float> read_back(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<float> frames(size_t(info.frames) * 2);
  frames.resize(size_t(sf_readf_float(f, frames.data(), info.frames)) * 2);
  sf_close(f);
  return frames;
}

// The first `frames` frames are the ramp from its start.
bool ramp_prefix(const std::vector<float>& got, size_t frames) {
  float left[block], right[block];
  for (size_t k = 0; k < frames; ++k) {
    if (k % block == 0) ramp(int(k / block), left, right);
    if (got[2 * k] != left[k % block] || got[2 * k + 1] != right[k % block]) return false;
  }
  return true;
}

class Recorder : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("KELVARIN_RESOURCES", folder, 1);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  char folder[32] = "/tmp/kv-recorder-XXXXXX";
};

}  // namespace

TEST_F(Recorder, WritesWhatComesInThenOutrunSaysWhyAndKeepsAGaplessStart) {
  testing::internal::CaptureStdout();
  ASSERT_EQ(recorder_start(), 1);
  const std::string path = recorder_path();
  EXPECT_EQ(path.rfind(std::string(folder) + "/recordings/kelvarin-", 0), 0u) << path;
  float left[block], right[block];
  for (int b = 0; b < 100; ++b) ramp(b, left, right), recorder_accept(left, right, block);
  EXPECT_NEAR(recorder_seconds(), 100.0 * block / 44100.0, 1e-9);
  recorder_stop();
  ASSERT_TRUE(recorder_wait_idle(10));
  std::vector<float> got = read_back(path);
  ASSERT_EQ(got.size(), size_t(100 * block * 2));
  EXPECT_TRUE(ramp_prefix(got, 100 * block));

  // Blocks as fast as memory goes: the writer, draining every few milliseconds, falls behind the ring.
  ASSERT_EQ(recorder_start(), 1);
  const std::string second = recorder_path();
  EXPECT_NE(second, path) << "a new file for each recording";
  int pushed = 0;
  for (; recorder_recording() && pushed < 100 * int(RECORDER_RING_FRAMES / block); ++pushed)
    ramp(pushed, left, right), recorder_accept(left, right, block);
  EXPECT_FALSE(recorder_recording()) << "the audio side stopped copying by itself";
  ASSERT_TRUE(recorder_wait_idle(10));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("recording to " + path + "\nrecorded " + path + " ("), std::string::npos) << out;
  EXPECT_NE(out.find("recording stopped, the disk fell more than 3.0 s behind: recorded " + second), std::string::npos)
      << out;
  got = read_back(second);
  EXPECT_GE(got.size() / 2, size_t(RECORDER_RING_FRAMES) - block) << "what the ring held was kept";
  EXPECT_LT(got.size() / 2, size_t(pushed) * block);
  EXPECT_TRUE(ramp_prefix(got, got.size() / 2)) << "no gap and no stale block in what was kept";
}

TEST_F(Recorder, AFolderThatCannotBeMadeRecordsNothing) {
  setenv("KELVARIN_RESOURCES", "/dev/null/kelvarin", 1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(recorder_start(), 0);
  float silence[block] = {};
  recorder_accept(silence, silence, block);
  EXPECT_FALSE(recorder_recording());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("cannot record: ", 0), 0u) << out;
  EXPECT_NE(out.find("nothing recorded\n"), std::string::npos) << out;
}
