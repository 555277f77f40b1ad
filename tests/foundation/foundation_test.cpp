// The building blocks: feedback-FM generators, rhythms, the fader law's knees and typed arrays. Non-finite
// values through the generators are played by the engine's damaged-record test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <tuple>

#include "apps/experiments/fmosc.hpp"
#include "apps/kelvarin/euclid_pulse.hpp"
#include "pure/music/amp.hpp"
#include "pure/music/blit.hpp"
#include "pure/music/near_trig.hpp"
#include "toolset/array.hpp"

TEST(Generators, FmOperatorsRemadeInPlaceAndRhythms) {
  fm_synth fs{};
  fm_synth_make(&fs);
  EXPECT_EQ(fm_synth_osc_array_length(&fs.operators), 1);
  fm_synth_setup(&fs, 1);
  fm_synth_setup(&fs, 0);
  EXPECT_EQ(fm_synth_osc_array_length(&fs.operators), 2);
  uint32_t handle = fs.operators.handle;
  for (int i = 0; i < 10000; ++i) fm_synth_make(&fs);  // the same storage each time, no exhaustion
  EXPECT_EQ(fs.operators.handle, handle);
  EXPECT_EQ(fm_synth_osc_array_length(&fs.operators), 1);
  const std::tuple<int, int, const char*> rhythms[] = {
      {3, 8, "x..x.x.."}, {5, 8, "xx.x.xx."}, {2, 5, "x.x.."}, {1, 4, "x..."}, {9, 4, "xxxx"}};
  for (auto [k, n, pattern] : rhythms) {
    euclid_pulse p;
    euclid_pulse_make(&p, k, n);
    std::string s;
    for (int i = 0; i < n; ++i, euclid_pulse_next(&p)) s += euclid_pulse_output_bit(&p) ? 'x' : '.';
    EXPECT_EQ(s, pattern) << k << " of " << n;
  }
}

// The engine takes sines from near_sin and near_cos wherever the floats it keeps come out as the library's.
TEST(Generators, NearSinesKeepTheLibrarysFloats) {
  std::mt19937_64 rng(19);
  std::uniform_real_distribution<double> angle(-0x1p20, 0x1p20);
  for (int i = 0; i < 300000; ++i) {
    double x = angle(rng) * (i % 3 == 0 ? 1.0 : (i % 3 == 1 ? 0x1p-17 : 0x1p-20));
    ASSERT_LE(std::fabs(double(near_cos(x) - cosl(x))), 0x1p-51) << x;
    ASSERT_EQ(sin_to_float(x), float(std::sin(x))) << x;
  }
  fm_synth near[2]{}, library[2]{};
  for (int type : {0, 1}) {
    fm_synth_setup(&near[type], type);
    fm_synth_setup(&library[type], type);
  }
  std::uniform_real_distribution<float> increment(-0.01f, 0.3f), phase(-0.2f, 1.2f);
  for (int i = 0; i < 200000; ++i) {
    float inc = increment(rng), at = phase(rng), sample[2];
    library[0].increment = library[1].increment = inc;
    library[0].phase = library[1].phase = at;
    fm_synth_saw(&library[0], &sample[0], 1);
    fm_synth_square(&library[1], &sample[1], 1);
    ASSERT_EQ(fm_synth_saw_next(&near[0], inc, at), sample[0]) << i;
    ASSERT_EQ(fm_synth_square_next(&near[1], inc, at), sample[1]) << i;
  }
}

// A low train (110 Hz, 201 harmonics) over one cycle against its closed form in long double: the
// rounding of (M - 1) x would land on every impulse, where the denominator is smallest.
TEST(Generators, TrainFollowsItsClosedForm) {
  blit b;
  leaky_lp lp{};
  blit_make(&b, 0.5f);
  blit_sawtooth_at(&b, &lp, 0.0f, 110.0f / 44100.0f);
  double worst = 0.0;
  for (int n = 0; n < 4000; ++n) {
    float t = float(n) / 4000.0f, x = float(2.0 * std::numbers::pi * double(t)), cos_x = std::cos(x);
    long double mx = b.harmonics * x, ak = b.a_k, akm = b.a_k_m;
    long double train = 1 - akm * cosl(mx) + ak * (akm * cosl(mx - x) - cos_x);
    train /= b.period * ((b.a_k - 2.0f * cos_x) * b.a_k + 1.0f);
    worst = std::max(worst, double(fabsl(blit_do(&b, t) - train)));
  }
  EXPECT_LE(worst, 1e-6);
}

TEST(Numbers, TheFaderLawsKnees) {
  const std::pair<float, float> knees[] = {
      {0.0f, -200.0f}, {4.0f / 76, -60.0f}, {16.0f / 76, -40.0f}, {52.0f / 76, -10.0f}, {1.0f, 0.0f}, {2.0f, 10.0f}};
  for (auto [v, db] : knees) EXPECT_NEAR(volume_in_db(v), db, 1e-3) << v;
  EXPECT_EQ(volume_to_amp(0), 0.0f);
  EXPECT_NEAR(db_to_amp(-6.0206f), 0.5f, 1e-5);
}

TEST(Toolset, ArraysGrowZeroedAndFailedArraysRefuseEverythingUntilReset) {
  int_array a{};
  ASSERT_NE(array_allocate(a, 4), nullptr);
  EXPECT_EQ(std::tuple(array_length(a), *array_get(a, 4), a.raw.capacity), std::tuple(5, 0, 40));
  EXPECT_EQ(array_get(a, 5), nullptr);
  byte_array b{}, failed{};
  array_fail(failed);
  EXPECT_EQ(array_allocate(failed, 0), nullptr);
  EXPECT_EQ(std::pair(array_catb(&b.raw, "x", -1), array_catb(&failed.raw, "x", 1)), std::pair(0, 0));
  EXPECT_EQ(array_cat(&b.raw, &failed.raw), 0);  // a failed source fails the destination
  EXPECT_EQ(std::tuple(array_length(failed), array_length(b)), std::tuple(-1, -1));
  array_reset(b);
  EXPECT_EQ(array_allocate(b, INT32_MAX), nullptr);  // past 2 GiB
  array_reset(a);
  array_reset(b);
  array_reset(failed);
}
