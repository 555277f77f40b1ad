// General helpers, the fader law and the pitch conversions, at their edges and knees.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "pure/math.hpp"
#include "pure/music/amp.hpp"
#include "pure/music/notes.hpp"
#include "pure/numbers.hpp"
#include "pure/stats.hpp"

namespace {
constexpr float inf = std::numeric_limits<float>::infinity();
}

TEST(Numbers, ClampHandlesNonFiniteBySign) {
  const float cases[][2] = {{inf, 1}, {-inf, 0}, {std::nanf(""), 1}, {-std::nanf(""), 0}, {0.25f, 0.25f}, {-3, 0}};
  for (auto [x, clamped] : cases) EXPECT_EQ(clamp_f(x, 0, 1), clamped) << x;
  EXPECT_EQ(clamp_i(9, 0, 7), 7);
}

TEST(Numbers, SafeConversionsAreDefinedEverywhere) {
  EXPECT_EQ(trunc_to_i32(std::nan("")), 0);
  EXPECT_EQ(trunc_to_i32(1e300), INT32_MAX);
  EXPECT_EQ(trunc_to_i32(-1e300), INT32_MIN);
  EXPECT_EQ(trunc_to_i32(-2.7), -2);
  EXPECT_EQ(trunc_to_u32(5e9), UINT32_MAX);
  EXPECT_EQ(trunc_to_u32(-1.0), 0u);
}

TEST(Numbers, PowerOfTwoAndQuantize) {
  // Held at 2^30 for the largest input, never overflowing.
  const int32_t powers[][2] = {{0, 2}, {1, 2}, {3, 4}, {5, 8}, {640, 1024}, {1024, 1024}, {INT32_MAX, 1 << 30}};
  for (auto [n, power] : powers) EXPECT_EQ(ceil_to_power_of_two(n), power) << n;
  const float quanta[][3] = {{0.333f, 8, 0.375f}, {0.5f, 8, 0.5f},  {1.3f, 8, 1.25f},
                             {0.97f, 96, 93.0f / 96.0f}, {0.7f, 0, 0.0f}, {0.5f, -8, 0.5f}};
  for (auto [x, steps, q] : quanta) EXPECT_FLOAT_EQ(quantize_f(x, int32_t(steps)), q) << x << " " << steps;
}

TEST(Numbers, FaderLawAtItsKnees) {
  EXPECT_FLOAT_EQ(volume_in_db(1), 0.0f);
  EXPECT_FLOAT_EQ(volume_in_db(0), -200.0f);
  EXPECT_FLOAT_EQ(volume_in_db(2), 10.0f);
  for (auto [steps, db] : {std::pair{4.0f, -60.0f}, {16.0f, -40.0f}, {52.0f, -10.0f}})
    EXPECT_NEAR(volume_in_db(steps / 76), db, 1e-3) << steps;
  EXPECT_EQ(volume_to_amp(0), 0.0f);
  EXPECT_NEAR(volume_to_amp(1), 1.0f, 1e-6);
  EXPECT_EQ(db_to_amp(-110.0f), 0.0f);  // e^d underflows in single precision
  EXPECT_NEAR(db_to_amp(-6.0206f), 0.5f, 1e-5);
  EXPECT_NEAR(amp_to_db(0.5f), -6.0206f, 1e-4);
}

TEST(Numbers, PitchConversions) {
  EXPECT_FLOAT_EQ(midi_to_hz_std(57), 440.0f);
  EXPECT_FLOAT_EQ(midi_to_hz_std(69), 880.0f);
  EXPECT_FLOAT_EQ(hz_to_midi_std(220), 45.0f);
  EXPECT_NEAR(midi_to_hz_std(-57), 0.6076f, 1e-4);
  EXPECT_NEAR(midi_to_hz_std(0), 16.3516f, 1e-3);
}

TEST(Numbers, Statistics) {
  const float a[4] = {1, -3, 2, 4};
  float mm[2] = {99, 99};
  minmax_f(a, 4, mm);
  EXPECT_EQ(mm[0], -3.0f);
  EXPECT_EQ(mm[1], 4.0f);
  minmax_f(a, 0, mm);
  EXPECT_EQ(mm[0], -3.0f);
  EXPECT_FLOAT_EQ(average_f(a, 4), 1.0f);
  EXPECT_FLOAT_EQ(rms_f(a, 4), std::sqrt(30.0f / 4));
}
