// Oscillator kinds: names, and each generator's behaviour as a performer hears it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "tests/engine/engine_fixture.hpp"

namespace {

// Drives one generator with a steady increment; returns its samples and the samples that wrapped.
std::vector<float> drive(osc_generator g, osc* o, float increment, int samples, std::vector<int>* wraps = nullptr,
                         float p1 = 0.0f, float p2 = 0.0f) {
  std::vector<float> out;
  float phase = 0.0f;
  for (int n = 0; n < samples; ++n) {
    out.push_back(g(o, n == 0 ? 0 : 1, phase, 1.0f, increment, p1, p2));
    float next = phase + increment;
    if (next >= 1.0f && wraps) wraps->push_back(n);
    phase = next >= 1.0f ? next - 1.0f : next;
  }
  return out;
}

// Share of a signal's energy outside the odd harmonics of `cycles` whole cycles (the aliases).
double alias_share(const std::vector<double>& x, int cycles) {
  double total = 0, harmonic = 0;
  for (double v : x) total += v * v;
  const double n = double(x.size());
  for (int h = 1; h * cycles < int(n) / 2; h += 2) {
    double re = 0, im = 0;
    for (size_t k = 0; k < x.size(); ++k) {
      double w = 2 * std::numbers::pi * h * cycles * double(k) / n;
      re += x[k] * std::cos(w);
      im += x[k] * std::sin(w);
    }
    harmonic += 2 * (re * re + im * im) / n;
  }
  return (total - harmonic) / total;
}

}  // namespace

TEST(Oscillators, Names) {
  EXPECT_STREQ(osc_waveform_as_string(7), "ar");
  EXPECT_STREQ(osc_waveform_as_string(1), "tri");
  EXPECT_STREQ(osc_waveform_as_string(12), "unk");
  EXPECT_STREQ(osc_waveform_as_string(-1), "unk");
  EXPECT_STREQ(osc_modulation_type_as_string(6), "s&h");
  EXPECT_STREQ(osc_modulation_type_as_string(10), "unk");
  EXPECT_EQ(osc_generator_of(99), &null_osc);
  EXPECT_EQ(osc_generator_of(OSC_TRI), &bl_triangle_osc);
}

TEST(Oscillators, NoiseHoldsEachValueForACycleAndChangesAtTheWrap) {
  engine_reset();
  osc& o = synth().oscs[0];
  std::vector<int> wraps;
  std::vector<float> y = drive(random_osc, &o, 0.01f, 1000, &wraps, 0.25f);
  ASSERT_GE(wraps.size(), 9u);
  for (size_t n = 1; n < y.size(); ++n) {
    bool wrapped = std::find(wraps.begin(), wraps.end(), int(n)) != wraps.end();
    if (!wrapped) {
      EXPECT_EQ(y[n], y[n - 1]) << n;
    }
    EXPECT_LE(std::fabs(y[n]), 0.5f);
  }
  int changes = 0;
  for (int w : wraps) changes += y[size_t(w)] != y[size_t(w) - 1];
  EXPECT_GE(changes, int(wraps.size()) - 1);
  // The same p1 on a restart replays the same values.
  std::vector<float> again = drive(random_osc, &o, 0.01f, 1000, nullptr, 0.25f);
  EXPECT_EQ(again[500], y[500]);
}

TEST(Oscillators, ShiftRegisterRestartsFromANewRegisterEachTime) {
  engine_reset();
  osc& o = synth().oscs[0];
  lsfr_osc(&o, 0, 0.0f, 1.0f, 0.001f, 0, 0);
  uint16_t first = o.lsfr.reg;
  lsfr_osc(&o, 0, 0.0f, 1.0f, 0.001f, 0, 0);
  EXPECT_NE(o.lsfr.reg, first);
  float v = lsfr_val_osc(&o, 1, 0.0f, 1.0f, 0.001f, 0, 0);
  EXPECT_FLOAT_EQ(v, float(o.lsfr.reg) / 65535.0f);
}

TEST(Oscillators, AttackReleaseRisesAndFallsOverOnePeriod) {
  engine_reset();
  osc& o = synth().oscs[0];
  osc_ar(o).level = 0.0f;
  std::vector<float> y = drive(ar_osc, &o, 0.01f, 200);
  EXPECT_NEAR(y[0], 0.02f, 1e-6f);
  EXPECT_NEAR(y[24], 0.5f, 1e-4f);
  EXPECT_FLOAT_EQ(*std::max_element(y.begin(), y.end()), 1.0f);
  EXPECT_GE(std::max_element(y.begin(), y.end()) - y.begin(), 48);
  for (size_t n = 103; n < y.size(); ++n) EXPECT_EQ(y[n], 0.0f);
}

TEST(Oscillators, EuclideanPulsesOnOnsetsAtCycleBoundaries) {
  engine_reset();
  osc& o = synth().oscs[0];
  std::vector<int> wraps;
  std::vector<float> y = drive(euclid_osc, &o, 0.1f, 800, &wraps, 0.05f, 0.125f);  // 3 onsets in 8 steps
  std::vector<float> at_wraps;
  for (int w : wraps) at_wraps.push_back(y[size_t(w)]);
  const float expected[8] = {1, 0, 0, 1, 0, 1, 0, 0};
  for (size_t k = 0; k < at_wraps.size(); ++k) EXPECT_EQ(at_wraps[k], expected[k % 8]) << k;
  float total = 0;
  for (float v : y) total += v;
  EXPECT_EQ(total, 3.0f * float(wraps.size()) / 8.0f);
  // 64 onsets in 64 steps: a pulse on every cycle.
  wraps.clear();
  y = drive(euclid_osc, &o, 0.1f, 800, &wraps, 1.0f, 0.0f);
  for (int w : wraps) EXPECT_EQ(y[size_t(w)], 1.0f);
}

TEST(Oscillators, TriangleIsBandLimitedAndExactAtLowRates) {
  engine_reset();
  osc& o = synth().oscs[0];
  // A slow triangle keeps its corners: +1 at a quarter cycle, -1 at three quarters.
  EXPECT_NEAR(bl_triangle_osc(&o, 1, 0.25f, 1.0f, 1e-5f, 0, 0), 1.0f, 1e-4f);
  EXPECT_NEAR(bl_triangle_osc(&o, 1, 0.75f, 1.0f, 1e-5f, 0, 0), -1.0f, 1e-4f);
  EXPECT_FLOAT_EQ(bl_triangle_osc(&o, 1, 0.125f, 1.0f, 1e-5f, 0, 0), 0.5f);
  // At 3001 Hz (3001 whole cycles in a second) the aliases carry far less energy than the plain
  // triangle's.
  std::vector<double> bl, plain;
  for (int n = 0; n < 44100; ++n) {
    double t = std::fmod(double(n) * 3001.0 / 44100.0, 1.0);
    bl.push_back(bl_triangle_osc(&o, 1, float(t), 1.0f, 3001.0f / 44100.0f, 0, 0));
    plain.push_back(t < 0.25 ? 4 * t : (t < 0.75 ? 2 - 4 * t : 4 * t - 4));
  }
  EXPECT_LT(10 * std::log10(alias_share(bl, 3001) / alias_share(plain, 3001)), -10.0);
  EXPECT_EQ(bl_triangle_osc(&o, 1, NAN, 1.0f, 0.01f, 0, 0), 0.0f);
}
