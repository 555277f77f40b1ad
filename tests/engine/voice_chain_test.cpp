// Voice chain: filters against their analytic responses, the open low-pass over minutes, delay, pan, crossfade.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>

#include "tests/engine/engine_fixture.hpp"

namespace {

constexpr double pi = std::numbers::pi;

// Steady-state gain of a block filter for a sine of `hz`, after a second of settling.
template <class Filter>
double measured_gain(Filter run, double hz) {
  float block[256];
  double peak = 0;
  for (int b = 0; b < 344; ++b) {
    for (int k = 0; k < 256; ++k) block[k] = float(std::sin(2 * pi * hz * (b * 256 + k) / 44100.0));
    run(block);
    for (int k = 0; b > 172 && k < 256; ++k) peak = std::max(peak, double(std::fabs(block[k])));
  }
  return peak;
}

// Analog prototype 1 / (s^2 + r s + 1) through the bilinear transform with prewarping at the cutoff.
double lp_analytic(double hz, double cutoff, double r) {
  double w = std::tan(pi * hz / 44100.0) / std::tan(pi * cutoff / 44100.0);
  return 1.0 / std::hypot(1 - w * w, r * w);
}

// The Chamberlin recursion's high-pass output: q (1 - z^-1)^2 / ((1 - z^-1)^2 + f^2 z^-1 + q f z^-1 (1 - z^-1)).
double chamberlin_analytic(double hz, double f, double q) {
  std::complex<double> zi = std::polar(1.0, -2 * pi * hz / 44100.0), d = 1.0 - zi;
  return std::abs(q * d * d / (d * d + f * f * zi + q * f * zi * d));
}

}  // namespace

TEST(VoiceChain, LowPassFollowsItsBilinearResponse) {
  for (float res : {0.0f, 6.0f}) {
    lp_filter lp{};
    lp_filter_make(&lp);
    lp_filter_set_cutoff(&lp, 1000.0f);
    lp_filter_set_resonance(&lp, res);
    double r = std::pow(10.0, -res / 10.0) * std::sqrt(2.0);
    for (double hz : {250.0, 1000.0, 3000.0}) {
      double g = measured_gain([&](float* b) { lp_filter_do(&lp, b); }, hz);
      EXPECT_NEAR(g, lp_analytic(hz, 1000.0, r), 0.01 * lp_analytic(hz, 1000.0, r)) << res << " " << hz;
    }
  }
}

TEST(VoiceChain, StateVariableHighPassFollowsItsRecursion) {
  chamberlin_filter c{};
  chamberlin_filter_make(&c);
  chamberlin_filter_set_cutoff(&c, 1000.0f);
  chamberlin_filter_set_resonance(&c, 3.0f);
  for (double hz : {100.0, 1000.0, 5000.0}) {
    double g = measured_gain([&](float* b) { chamberlin_filter_do(&c, 0, b); }, hz);
    EXPECT_NEAR(g, chamberlin_analytic(hz, c.f, c.q), 0.01 * chamberlin_analytic(hz, c.f, c.q)) << hz;
  }
  // The defaults, as the callback sets them, remove content below about 70 Hz.
  chamberlin_filter_set_cutoff(&c, 0.0f);
  chamberlin_filter_set_resonance(&c, 0.0f);
  EXPECT_FLOAT_EQ(c.f, 0.01f);
  EXPECT_LT(measured_gain([&](float* b) { chamberlin_filter_do(&c, 0, b); }, 20.0), 0.2);
  // Mode 4 leaves the block as it is.
  float block[256];
  for (int k = 0; k < 256; ++k) block[k] = float(k);
  chamberlin_filter_do(&c, 4, block);
  for (int k = 0; k < 256; ++k) EXPECT_EQ(block[k], float(k));
}

// At its default and top cutoff the low-pass passes the sound unchanged for ten minutes and more:
// the recursion with both poles at z = -1 would drift without bound.
TEST(VoiceChain, OpenLowPassPassesTenMinutesOfSineUnchanged) {
  lp_filter lp{};
  lp_filter_make(&lp);
  lp_filter_set_cutoff(&lp, 22050.0f);
  lp_filter_set_resonance(&lp, 0.0f);
  float block[256];
  double phase = 0;
  bool unchanged = true;
  for (int b = 0; b < 10 * 60 * 44100 / 256 + 1; ++b) {
    float in[256];
    for (int k = 0; k < 256; ++k) {
      in[k] = block[k] = float(std::sin(2 * pi * phase));
      phase = std::fmod(phase + 440.0 / 44100.0, 1.0);
    }
    lp_filter_do(&lp, block);
    for (int k = 0; k < 256; ++k) unchanged &= block[k] == in[k];
  }
  EXPECT_TRUE(unchanged);
  // Lowered afterwards, it filters from memories that followed the signal.
  lp_filter_set_cutoff(&lp, 5000.0f);
  EXPECT_NEAR(measured_gain([&](float* b) { lp_filter_do(&lp, b); }, 440.0), 1.0, 0.01);
  // Just below the open range, and above it, the output stays bounded too.
  for (float hz : {22000.0f, 30000.0f, NAN, 0.0f}) {
    lp_filter_set_cutoff(&lp, hz);
    double g = measured_gain([&](float* b) { lp_filter_do(&lp, b); }, 440.0);
    EXPECT_TRUE(std::isfinite(g) && g < 1.01) << hz;
  }
}

TEST(VoiceChain, DelayGivesAnEchoTrainOfFeedbackPowers) {
  engine_reset();
  float block[256] = {1.0f};
  std::vector<float> out;
  for (int b = 0; b < 120; ++b) {
    feedback_delay(block, 0, 0.0f, 14700.0f, 0.75f);
    out.insert(out.end(), block, block + 256);
    std::fill(block, block + 256, 0.0f);
  }
  EXPECT_NEAR(out[0], 1.0f, 1e-6f);
  EXPECT_NEAR(out[14700], 0.75f, 1e-6f);
  EXPECT_NEAR(out[29400], 0.5625f, 1e-6f);
  EXPECT_NEAR(out[14699] + out[14701] + out[20000], 0.0f, 1e-6f);
}

// Whatever a preset holds, the positions stay inside the line (the sanitizer build checks every index).
TEST(VoiceChain, DelayPositionsStayInsideTheLineForAnySettings) {
  engine_reset();
  delay_line_tapin[1] = 2147483000;  // as a counter that had run for 13 hours would stand
  float block[256];
  for (float delay : {-5.0f, NAN, INFINITY, -INFINITY, 1e30f, 661499.9f, 0.0f, 0.5f, 14700.0f}) {
    for (int b = 0; b < 4; ++b) {
      for (int k = 0; k < 256; ++k) block[k] = 0.5f;
      feedback_delay(block, 1, 0.5f, delay, 0.9f);
      for (float y : block) ASSERT_TRUE(std::isfinite(y));
      EXPECT_LT(uint32_t(delay_line_tapin[1]), uint32_t(DELAY_LINE_FLOATS)) << delay;
      EXPECT_LT(uint32_t(delay_line_tapout[1]), uint32_t(DELAY_LINE_FLOATS)) << delay;
    }
  }
  EXPECT_EQ(array_length(delay_lines[1]), DELAY_LINE_FLOATS);
  feedback_delay(block, 8, 0.5f, 100.0f, 0.5f);  // no such voice: nothing happens
  feedback_delay(block, -1, 0.5f, 100.0f, 0.5f);
}

TEST(VoiceChain, PanLawAndMix) {
  const float law[][3] = {{-1, 1, 0}, {0, 0.7071068f, 0.7071068f}, {0.5f, 0.3826834f, 0.9238795f}, {1, 0, 1}, {NAN, 0, 1}};
  for (const auto& [position, left, right] : law) {
    float g[2] = {1.0f, 1.0f};
    pan(g, position);
    EXPECT_NEAR(g[0], left, 1e-6f) << position;
    EXPECT_NEAR(g[1], right, 1e-6f) << position;
  }
  float left[256] = {}, right[256] = {}, block[256];
  std::fill(block, block + 256, 0.5f);
  mix(left, right, block, 1.0f, 0.0f);
  mix(left, right, block, 0.0f, 0.0f);  // the fader's bottom is exact silence
  EXPECT_NEAR(left[7], 0.5f * 0.7071068f, 1e-6f);
  EXPECT_NEAR(right[7], 0.5f * 0.7071068f, 1e-6f);
}

TEST(VoiceChain, CrossfadeCurve) {
  EXPECT_EQ(crossfade_amp(1, 0), 0.0f);
  for (auto [x, amp] : {std::pair{0.1f, 0.7328f}, {0.5f, 0.8414f}, {0.9f, 0.9661f}}) EXPECT_NEAR(crossfade_amp(1, x), amp, 1e-4f);
  EXPECT_FLOAT_EQ(crossfade_amp(1, 1), 1.0f);
  EXPECT_FLOAT_EQ(crossfade_amp(0.5f, 1), 1.0f);
  for (float x = 0.0f; x < 1.0f; x += 0.001f) EXPECT_LE(crossfade_amp(1, x), crossfade_amp(1, x + 0.001f) + 1e-6f);
}

// The callback filters the eight voices side by side: blocks and filter memories must come out as the
// per-voice low-pass and high-pass leave them, for open and closed low-passes, resonances and cutoffs
// of every range, and the block sizes the lanes are cut into.
TEST(VoiceChain, VoicesSideBySideFilterAsOneVoiceAfterAnother) {
  static float side_by_side[8][256], one_by_one[8][256];
  lp_filter lp_one[8];
  chamberlin_filter hp_one[8];
  filters_make();
  const float cutoffs[8] = {30.0f, 440.0f, 3000.0f, 22050.0f, 12000.0f, 30000.0f, 0.0f, 17640.0f};
  for (int block = 0; block < 6; ++block) {
    for (int v = 0; v < 8; ++v) {
      lp_filter_set_cutoff(&lps[v], block == 3 && v == 3 ? 500.0f : cutoffs[v]);  // one voice closes
      lp_filter_set_resonance(&lps[v], float(v % 4) * 4.0f);
      chamberlin_filter_set_cutoff(&chamberlins[v], 50.0f * float(v * v + block));
      chamberlin_filter_set_resonance(&chamberlins[v], float(v) * 0.7f);
      for (int k = 0; k < 256; ++k) {
        side_by_side[v][k] = float(std::sin(0.01 * (v + 1) * (block * 256 + k))) + (k == 9 * v ? 3.0f : 0.0f);
      }
    }
    std::memcpy(one_by_one, side_by_side, sizeof one_by_one);
    std::memcpy(lp_one, lps, sizeof lp_one);
    std::memcpy(hp_one, chamberlins, sizeof hp_one);
    for (int v = 0; v < 8; ++v) {
      lp_filter_do(&lp_one[v], one_by_one[v]);
      chamberlin_filter_do(&hp_one[v], 0, one_by_one[v]);
    }
    voice_filters_do(side_by_side);
    ASSERT_EQ(std::memcmp(one_by_one, side_by_side, sizeof one_by_one), 0) << block;
    for (int v = 0; v < 8; ++v) {
      EXPECT_EQ(std::memcmp(&lp_one[v], &lps[v], sizeof(lp_filter)), 0) << block << " " << v;
      EXPECT_EQ(std::memcmp(&hp_one[v], &chamberlins[v], sizeof(chamberlin_filter)), 0) << block << " " << v;
    }
  }
}

// A block through feedback_delay is the sample-by-sample walk of tap_adjusts, tapin and tapout, also
// for echoes shorter than a block (read back within it) and across the end of the line.
TEST(VoiceChain, DelayBlockIsTheSampleBySampleWalk) {
  engine_reset();
  for (float delay : {1.0f, 3.7f, 255.0f, 256.0f, 257.0f, 5000.0f, 661499.0f}) {
    delay_line_tapin[2] = delay_line_tapin[3] = DELAY_LINE_FLOATS - 300;
    float block[256], walked[256];
    for (int b = 0; b < 5; ++b) {
      for (int k = 0; k < 256; ++k) block[k] = walked[k] = float(std::sin(0.1 * (b * 256 + k))) + (k == 0 ? 1e30f : 0.0f);
      feedback_delay(block, 2, 0.25f, delay, 0.8f);
      for (float& x : walked) {
        tap_adjusts(3, delay);
        float s = tapin(3) + x;
        tapout(3, s * 0.8f);
        x = 0.25f * x + 0.75f * s;
      }
      ASSERT_EQ(std::memcmp(block, walked, sizeof block), 0) << delay << " " << b;
      ASSERT_EQ(delay_line_tapin[2], delay_line_tapin[3]) << delay;
      ASSERT_EQ(delay_line_tapout[2], delay_line_tapout[3]) << delay;
    }
  }
  EXPECT_EQ(std::memcmp(array_data(delay_lines[2]), array_data(delay_lines[3]), sizeof(float) * DELAY_LINE_FLOATS), 0);
}
