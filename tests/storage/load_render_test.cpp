// Loading a slot while the engine renders: the crossfade on the engine's own output, and damaged files
// that must not change one sample.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/engine/engine_fixture.hpp"
#include "tests/storage/scratch_folder.hpp"

namespace {

float rms(const float* x) {
  double sum = 0;
  for (int k = 0; k < 256; ++k) sum += double(x[k]) * x[k];
  return float(std::sqrt(sum / 256));
}

// The old sound is voice 0 hard left, the stored one voice 1 hard right: each channel shows one side
// of the crossfade.
void left_voice_playing(int32_t voice, float pan) {
  for (voice_params& v : synth().voices) v.volume = 0.0f;
  synth().voices[voice].volume = 1.0f;
  synth().voices[voice].pan = pan;
}

}  // namespace

TEST(LoadWhileRendering, CrossfadesFromTheOldSoundToTheLoadedOneOver44Blocks) {
  engine_reset();
  left_voice_playing(1, 1.0f);
  byte_array stored{};
  ASSERT_EQ(slot_bytes(&stored), 1);
  left_voice_playing(0, -1.0f);
  engine_frames frames;
  frames.skip_silent_start();
  for (int b = 0; b < 40; ++b) frames.run();
  const float old_level = rms(frames.frame.left);
  ASSERT_GT(old_level, 0.3f);
  ASSERT_LT(rms(frames.frame.right), 1e-4f);

  ASSERT_STREQ(load_bytes(as_bytes(stored)), "loaded succesfully.");
  std::vector<float> left, right;
  for (int b = 1; b <= 60; ++b) {
    frames.run();
    left.push_back(rms(frames.frame.left));
    right.push_back(rms(frames.frame.right));
    if (b < 44) {
      EXPECT_LT(synth().fade, 1.0f) << b;
    }
    if (b == 44) {
      EXPECT_EQ(synth().fade, 1.0f);
      EXPECT_EQ(synth_back().fade, 0.0f);
    }
  }
  const float new_level = right.back();
  EXPECT_NEAR(new_level, old_level, 0.05f * old_level);  // both are one default sine at full volume
  EXPECT_GT(left[0], 0.8f * old_level) << "the old sound must not stop at once";
  EXPECT_LT(right[0], 0.3f * new_level) << "the new sound must not start at full level";
  EXPECT_GT(right[21], 0.5f * new_level);
  EXPECT_LT(right[21], 0.98f * new_level);
  EXPECT_GT(left[21], 0.5f * old_level);
  for (int b = 1; b < 44; ++b) EXPECT_GE(right[size_t(b)], right[size_t(b) - 1] * 0.97f) << b;
  EXPECT_GT(left[42], 0.0f);  // still fading in block 43
  for (size_t b = 43; b < left.size(); ++b) EXPECT_LT(left[b], 1e-6f) << "old sound gone by block 44";
  array_reset(stored);
}

TEST(LoadWhileRendering, DamagedFilesLeaveEverySampleAsItWas) {
  engine_reset();
  left_voice_playing(2, 0.3f);
  byte_array stored{};
  ASSERT_EQ(slot_bytes(&stored), 1);
  const bytes_t good = as_bytes(stored);
  array_reset(stored);
  auto damaged_at = [&](size_t at, unsigned char value) {
    bytes_t b = good;
    b[at] = value;
    return b;
  };
  const std::vector<bytes_t> damaged = {
      bytes_t(good.begin(), good.end() - 1),  // truncated: nothing readable
      damaged_at(16, 0x23),                   // record length 3619: the record is refused, the visuals load
      damaged_at(12, 'k'),                    // record tag "kVSY"
      damaged_at(19, 0x7F),                   // record length far beyond the file
  };

  auto render = [&](bool with_loads, std::vector<float>* out) {
    engine_reset();
    left_voice_playing(2, 0.3f);
    engine_frames frames;
    frames.skip_silent_start();
    for (int b = 0; b < 80; ++b) {
      if (with_loads && b % 16 == 5) {
        const char* message = load_bytes(damaged[size_t(b / 16) % damaged.size()]);
        EXPECT_NE(message, PRESET_LOADED);
      }
      frames.run();
      out->insert(out->end(), frames.frame.left, frames.frame.left + 256);
      out->insert(out->end(), frames.frame.right, frames.frame.right + 256);
    }
  };
  std::vector<float> plain, loaded;
  render(false, &plain);
  int32_t front = synth_current;
  render(true, &loaded);
  EXPECT_EQ(synth_current, front) << "no damaged record was flipped in";
  ASSERT_EQ(plain.size(), loaded.size());
  for (size_t k = 0; k < plain.size(); ++k) ASSERT_EQ(plain[k], loaded[k]) << "sample " << k;
}
