// Damaged records: thousands of random records with NaN, infinite, huge and negative values and any ints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "toolset/algos/mt-prng.hpp"
#include "tests/engine/engine_fixture.hpp"

namespace {

float hostile_float(mt_prng* g) {
  static const float pool[] = {NAN, -NAN, INFINITY, -INFINITY, 3e38f, -3e38f, 1e-40f, 0.0f, -0.0f, 1.0f,
                               -1.0f, 0.5f, 57.0f, 22050.0f, 44099.0f, 1e9f, -1e9f, 661500.0f, 4.0f, 100.0f};
  uint32_t pick = mt_prng_uint32(g) % 24;
  if (pick < 20) return pool[pick];
  return (mt_prng_real_0_1_ii(g) - 0.5f) * std::pow(10.0f, float(mt_prng_uint32(g) % 12) - 4.0f);
}

// Every 32-bit word of the record: a hostile float or any int. The operator-array headers are kept, as
// the preset loader keeps them.
void damage(synth_state& s, mt_prng* g) {
  synth_state kept = s;
  uint32_t words[sizeof(synth_state) / 4];
  for (uint32_t& w : words) {
    float f = hostile_float(g);
    w = mt_prng_uint32(g) % 3 ? std::bit_cast<uint32_t>(f) : mt_prng_uint32(g) % 16 + (mt_prng_uint32(g) % 4 ? 0 : mt_prng_uint32(g));
  }
  std::memcpy(&s, words, sizeof words);
  keep_operators(s, kept);
}

bool finite_block(const float* b, int n) {
  for (int k = 0; k < n; ++k) {
    if (!std::isfinite(b[k])) return false;
  }
  return true;
}

}  // namespace

TEST(Hostile, RandomRecordsKeepEveryVoiceFiniteAndEveryIndexInside) {
  engine_reset();
  oui_history_begin();
  engine_frames frames;
  frames.skip_silent_start();
  mt_prng g;
  mt_prng_make(&g, 977);
  for (int record = 0; record < 3000; ++record) {
    damage(synth_back(), &g);
    if (record % 2) synth_flip();
    if (record % 7 == 0) gain = hostile_float(&g);
    modmatrix_note_on(&synth(), int32_t(mt_prng_uint32(&g) % 10), int32_t(mt_prng_uint32(&g)));
    frames.run();
    ASSERT_TRUE(finite_block(frames.frame.left, 256) && finite_block(frames.frame.right, 256)) << record;
    for (int v = 0; v < 8; ++v) {
      ASSERT_TRUE(std::isfinite(synth().cells[v][v].value)) << record;
      ASSERT_TRUE(std::isfinite(synth().oscs[v].phase)) << record;
      ASSERT_TRUE(finite_block(osc_buffer[v], OSC_BUFFER_N)) << record;
      ASSERT_TRUE(std::isfinite(lps[v].y0) && std::isfinite(chamberlins[v].low)) << record;
      ASSERT_LT(uint32_t(delay_line_tapin[v]), uint32_t(DELAY_LINE_FLOATS));
    }
  }
}

// A damaged voice goes quiet while a sound voice next to it plays on.
TEST(Hostile, ABadVoiceGoesQuietAndTheOthersPlayOn) {
  engine_reset();
  engine_frames frames;
  frames.skip_silent_start();
  synth().voices[0].volume = 1.0f;
  synth().voices[1].volume = 1.0f;
  synth().voices[1].pan = 1.0f;  // voice 1 alone on the right
  synth().voices[1].lp_cutoff = 1000.0f;
  synth().voices[1].lp_resonance = -1000.0f;  // no finite coefficients
  synth().voices[0].pan = -1.0f;
  synth().voices[0].delay_wet = 1.0f;
  synth().voices[0].delay_feedback = 1e30f;
  for (int b = 0; b < 50; ++b) frames.run();
  EXPECT_TRUE(std::isfinite(block_peak(frames.frame.left)));
  EXPECT_LT(block_peak(frames.frame.right), 1e-6f);
  synth().voices[1].lp_resonance = 0.0f;  // mended, it sounds again
  for (int b = 0; b < 50; ++b) frames.run();
  EXPECT_GT(block_peak(frames.frame.right), 0.3f);
}
