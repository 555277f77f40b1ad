// Band-limited and feedback-FM generators, Euclidean rhythms and the shift register.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "apps/experiments/fmosc.hpp"
#include "apps/kelvarin/euclid_pulse.hpp"
#include "apps/kelvarin/lsfr.hpp"
#include "pure/music/blit.hpp"

namespace {

// Magnitude of harmonic h of a signal holding whole periods.
double harmonic(const std::vector<float>& x, double cycles, int h) {
  double re = 0, im = 0;
  for (size_t n = 0; n < x.size(); ++n) {
    double w = 2 * std::numbers::pi * cycles * h * double(n) / double(x.size());
    re += x[n] * std::cos(w);
    im += x[n] * std::sin(w);
  }
  return 2 * std::hypot(re, im) / double(x.size());
}

std::vector<float> blit_wave(bool square, float inc, int samples) {
  blit b{};
  leaky_lp lp{};
  blit_make(&b, 0.5f);
  leaky_lp_make(&lp, 0.00001f);
  std::vector<float> out;
  double phase = 0;
  for (int i = 0; i < samples; ++i) {
    out.push_back(square ? blit_square_at(&b, &lp, float(phase), inc) : blit_sawtooth_at(&b, &lp, float(phase), inc));
    phase = std::fmod(phase + inc, 1.0);
  }
  return out;
}

std::string pattern_string(int k, int n) {
  euclid_pulse p;
  euclid_pulse_make(&p, k, n);
  std::string s;
  for (int i = 0; i < n; ++i) {
    s += euclid_pulse_output_bit(&p) ? 'x' : '.';
    euclid_pulse_next(&p);
  }
  return s;
}

}  // namespace

TEST(Blit, SawtoothRampsDownAndStopsBelowNyquist) {
  const int period = 100;  // 441 Hz
  auto w = blit_wave(false, 1.0f / period, period * 200);
  std::vector<float> tail(w.end() - period * 100, w.end());
  // Falling ramp: within a cycle most steps go down; the jump goes up.
  int down = 0;
  for (int i = 1; i < period; ++i) down += tail[i] < tail[i - 1];
  EXPECT_GT(down, period - 8);
  double h1 = harmonic(tail, 100, 1), h2 = harmonic(tail, 100, 2);
  EXPECT_GT(h1, 0.1);
  EXPECT_NEAR(h2 / h1, 0.5, 0.1);  // a sawtooth's second harmonic is half its first
  // M = 51 harmonics; harmonic 51 sits at 22491 Hz... only up to P/2 is present: nothing past 50.
  EXPECT_LT(harmonic(tail, 100, 51) / h1, 0.02);
}

TEST(Blit, SquareHasOnlyOddHarmonics) {
  const int period = 64;
  auto w = blit_wave(true, 1.0f / period, period * 300);
  std::vector<float> tail(w.end() - period * 100, w.end());
  double h1 = harmonic(tail, 100, 1);
  EXPECT_GT(h1, 0.1);
  EXPECT_LT(harmonic(tail, 100, 2) / h1, 0.02);
  EXPECT_NEAR(harmonic(tail, 100, 3) / h1, 1.0 / 3, 0.1);
}

TEST(Blit, HugeOrInfinitePhasesTerminate) {
  blit b{};
  leaky_lp lp{};
  blit_make(&b, 0.5f);
  leaky_lp_make(&lp, 0.00001f);
  EXPECT_TRUE(std::isfinite(blit_sawtooth_at(&b, &lp, 1e30f, 0.01f)));
  EXPECT_TRUE(std::isfinite(blit_sawtooth_at(&b, &lp, INFINITY, 0.01f)));
  blit_sawtooth_at(&b, &lp, NAN, 0.01f);
  EXPECT_TRUE(std::isfinite(blit_sawtooth_at(&b, &lp, 0.2f, 0.01f)));  // the integrator recovers
}

// The shaping terms keep each wave centred and its swing within a narrow band from 55 Hz to 3.5 kHz.
TEST(FeedbackFm, LevelAndCentreHoldAcrossFrequencies) {
  for (int type = 0; type < 2; ++type) {
    double reference = 0;
    for (double hz : {440.0, 55.0, 3520.0}) {
      fm_synth fs{};
      fm_synth_make(&fs);
      fm_synth_setup(&fs, type);
      float inc = float(hz / 44100.0);
      double phase = 0, sum = 0, lo = 1e9, hi = -1e9;
      const int n = 44100, settle = 4410;
      for (int i = 0; i < n; ++i) {
        fs.increment = inc;
        fs.phase = float(phase);
        float y;
        type == 0 ? fm_synth_saw(&fs, &y, 1) : fm_synth_square(&fs, &y, 1);
        if (i >= settle) {
          sum += y;
          lo = std::min(lo, double(y));
          hi = std::max(hi, double(y));
        }
        phase = std::fmod(phase + inc, 1.0);
      }
      SCOPED_TRACE("type " + std::to_string(type) + " at " + std::to_string(hz) + " Hz");
      EXPECT_NEAR(sum / (n - settle), 0.0, 0.05);
      if (reference == 0) reference = hi - lo;
      EXPECT_NEAR((hi - lo) / reference, 1.0, 0.2);
      EXPECT_GT(hi - lo, 1.5);
    }
  }
}

TEST(FeedbackFm, SetupNeverShrinksAndRemakesOperators) {
  fm_synth fs{};
  fm_synth_make(&fs);
  EXPECT_EQ(fm_synth_osc_array_length(&fs.operators), 1);
  fm_synth_setup(&fs, 1);
  EXPECT_EQ(fm_synth_osc_array_length(&fs.operators), 2);
  fm_synth_setup(&fs, 0);
  EXPECT_EQ(fm_synth_osc_array_length(&fs.operators), 2);
  EXPECT_EQ(fm_synth_osc_array_get(&fs.operators, 1)->increment, 0.25f);
  uint32_t handle = fs.operators.handle;
  for (int i = 0; i < 10000; ++i) fm_synth_make(&fs);  // made again: the same storage, no exhaustion
  EXPECT_EQ(fs.operators.handle, handle);
}

TEST(Euclid, PatternsOfTheTable) {
  // Onsets past the steps are capped at the steps.
  for (auto [k, n, pattern] : {std::tuple{3, 8, "x..x.x.."}, {5, 8, "xx.x.xx."}, {2, 5, "x.x.."}, {3, 4, "xxx."},
                               {1, 4, "x..."}, {4, 4, "xxxx"}, {9, 4, "xxxx"}})
    EXPECT_EQ(pattern_string(k, n), pattern) << k << " of " << n;
  beat_array b;
  euclid(&b, 3, 8);
  ASSERT_EQ(b.length, 3);
  EXPECT_TRUE(b.beats[0] == 3 && b.beats[1] == 2 && b.beats[2] == 3);
}

TEST(Euclid, SixtyFourStepPatternsRotateThroughAllSteps) {
  EXPECT_EQ(pattern_string(64, 64), std::string(64, 'x'));
  euclid_pulse p;
  euclid_pulse_make(&p, 5, 64);
  uint64_t start = p.pattern;
  int onsets = 0;
  for (int i = 0; i < 64; ++i) {
    onsets += euclid_pulse_output_bit(&p);
    euclid_pulse_next(&p);
    if (i < 63) {
      EXPECT_NE(p.pattern, start);
    }
  }
  EXPECT_EQ(onsets, 5);
  EXPECT_EQ(p.pattern, start);
  euclid_pulse_make(&p, 3, 8);
  start = p.pattern;
  for (int i = 0; i < 8; ++i) euclid_pulse_next(&p);
  EXPECT_EQ(p.pattern, start);
}

TEST(ShiftRegister, StepAndMaximalPeriod) {
  lsfr r;
  lsfr_make(&r, 0xACE1);
  lsfr_next(&r);
  EXPECT_EQ(lsfr_reg(&r), 0x5670);
  EXPECT_EQ(lsfr_output_bit(&r), 0);
  lsfr_make(&r, 1);
  int period = 0;
  do {
    lsfr_next(&r);
    ++period;
  } while (lsfr_reg(&r) != 1 && period < 70000);
  EXPECT_EQ(period, 65535);
  lsfr_make(&r, 0);
  lsfr_next(&r);
  EXPECT_EQ(lsfr_reg(&r), 0);
}
