// Loading a slot while the engine renders: the crossfade on the engine's own output, and damaged files
// that must not change one sample.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "apps/kelvarin/presets.hpp"
#include "tests/engine/engine_fixture.hpp"

namespace {

float rms(const float* x) {
  double sum = 0;
  for (int k = 0; k < 256; ++k) sum += double(x[k]) * x[k];
  return float(std::sqrt(sum / 256));
}

const char* load_bytes(const byte_array& bytes) {
  byte_array copy{};
  array_cat(&copy.raw, &bytes.raw);
  stream s;
  stream_make_on_array(&s, STREAM_READ, &copy);
  const char* message = load(&s);
  stream_delete(&s);
  array_reset(copy);
  return message;
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

  ASSERT_STREQ(load_bytes(stored), "loaded succesfully.");
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
  byte_array good{};
  ASSERT_EQ(slot_bytes(&good), 1);
  const int32_t size = array_bytes(&good.raw);
  std::vector<byte_array> damaged;
  auto variant = [&](int32_t keep, int32_t poke_at, unsigned char value) {
    byte_array b{};
    array_cate(&b.raw, &good.raw, 0, keep);
    if (poke_at >= 0 && poke_at < keep) b.raw.data[poke_at] = std::byte(value);
    damaged.push_back(b);
  };
  variant(size - 1, -1, 0);  // truncated: nothing readable
  variant(size, 16, 0x23);   // record length 3619: the record is refused, the visuals still load
  variant(size, 12, 'k');    // record tag "kVSY"
  variant(size, 19, 0x7F);   // record length far beyond the file

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
  for (byte_array& b : damaged) array_reset(b);
  array_reset(good);
}
