// The building blocks: band-limited and feedback-FM generators, rhythms, the shift register, numeric
// helpers at their edges, typed arrays and the random generator.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "apps/experiments/fmosc.hpp"
#include "apps/kelvarin/euclid_pulse.hpp"
#include "apps/kelvarin/lsfr.hpp"
#include "pure/math.hpp"
#include "pure/music/amp.hpp"
#include "pure/music/blit.hpp"
#include "pure/music/notes.hpp"
#include "pure/numbers.hpp"
#include "toolset/algos/mt-prng.hpp"
#include "toolset/array.hpp"

// Each wave's harmonics are checked where a performer hears them, through the oscillator kinds; here, the
// band-limited integrator survives huge and non-finite phases and recovers, feedback-FM operators are remade
// in place, and rhythms and the shift register follow their definitions.
TEST(Generators, HugePhasesFmOperatorsRhythmsAndTheShiftRegister) {
  blit b{};
  leaky_lp lp{};
  blit_make(&b, 0.5f);
  leaky_lp_make(&lp, 0.00001f);
  for (float phase : {1e30f, INFINITY, NAN}) blit_sawtooth_at(&b, &lp, phase, 0.01f);
  EXPECT_TRUE(std::isfinite(blit_sawtooth_at(&b, &lp, 0.2f, 0.01f)));
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
  for (auto [k, n, pattern] : {std::tuple{3, 8, "x..x.x.."}, {5, 8, "xx.x.xx."}, {2, 5, "x.x.."}, {1, 4, "x..."}, {9, 4, "xxxx"}}) {
    euclid_pulse p;
    euclid_pulse_make(&p, k, n);
    std::string s;
    for (int i = 0; i < n; ++i, euclid_pulse_next(&p)) s += euclid_pulse_output_bit(&p) ? 'x' : '.';
    EXPECT_EQ(s, pattern) << k << " of " << n;
  }
  lsfr r;
  lsfr_make(&r, 0xACE1);
  lsfr_next(&r);
  EXPECT_EQ(lsfr_reg(&r), 0x5670);
  lsfr_make(&r, 1);
  int period = 1;
  for (lsfr_next(&r); lsfr_reg(&r) != 1 && period < 70000; lsfr_next(&r)) ++period;
  EXPECT_EQ(period, 65535);
}

TEST(Numbers, NonFiniteInputsAndTheFaderLawsKnees) {
  for (auto [x, clamped] : {std::pair{INFINITY, 1.0f}, {-INFINITY, 0.0f}, {NAN, 1.0f}, {-NAN, 0.0f}, {0.25f, 0.25f}}) EXPECT_EQ(clamp_f(x, 0, 1), clamped) << x;
  EXPECT_EQ(std::tuple(trunc_to_i32(NAN), trunc_to_i32(1e300), trunc_to_u32(5e9), ceil_to_power_of_two(INT32_MAX)), std::tuple(0, INT32_MAX, UINT32_MAX, 1 << 30));
  for (auto [v, db] : {std::pair{0.0f, -200.0f}, {4.0f / 76, -60.0f}, {16.0f / 76, -40.0f}, {52.0f / 76, -10.0f}, {1.0f, 0.0f}, {2.0f, 10.0f}})
    EXPECT_NEAR(volume_in_db(v), db, 1e-3) << v;
  EXPECT_EQ(std::tuple(volume_to_amp(0), midi_to_hz_std(57), midi_to_hz_std(69), hz_to_midi_std(220)), std::tuple(0.0f, 440.0f, 880.0f, 45.0f));
  EXPECT_NEAR(db_to_amp(-6.0206f), 0.5f, 1e-5);
}

TEST(Toolset, ArraysGrowZeroedFailedArraysRefuseEverythingAndTheStandardMersenneTwister) {
  int_array a{};
  ASSERT_NE(array_allocate(a, 4), nullptr);
  EXPECT_EQ(std::tuple(array_length(a), *array_get(a, 4), a.raw.capacity, array_get(a, 5)), std::tuple(5, 0, 40, nullptr));
  byte_array b{}, failed{};
  array_fail(failed);
  EXPECT_EQ(std::tuple(array_allocate(failed, 0), array_catb(&b.raw, "x", -1), array_catb(&failed.raw, "x", 1)), std::tuple(nullptr, 0, 0));
  EXPECT_EQ(array_cat(&b.raw, &failed.raw), 0);  // a failed source fails the destination
  EXPECT_EQ(std::tuple(array_length(failed), array_length(b)), std::tuple(-1, -1));
  array_reset(b);
  EXPECT_EQ(array_allocate(b, INT32_MAX), nullptr);  // past 2 GiB
  array_reset(a);
  array_reset(b);
  array_reset(failed);
  mt_prng g{};
  EXPECT_EQ(mt_prng_uint32(&g), 3499211612u);  // unseeded: seeds itself with 5489
  for (int i = 1; i < 9999; ++i) mt_prng_uint32(&g);
  EXPECT_EQ(mt_prng_uint32(&g), 4123659995u);  // the 10000th output, the reference check value
}
