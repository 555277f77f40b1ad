// The modulation matrix: routing examples, the block plan against per-sample evaluation, phase safety.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "toolset/algos/mt-prng.hpp"
#include "tests/engine/engine_fixture.hpp"

namespace {

void set_cell(synth_state& s, int row, int column, int32_t type, float amount, float divisor = 1.0f) {
  s.cells[row][column] = {type, amount, divisor, 0.0f, 0};
}

float diagonal(const synth_state& s, int v) { return s.cells[v][v].value; }

// A patch with every kind and every cell type in use (24 off-diagonal cells), weights below 1.
void busy_patch(synth_state& s, uint32_t seed) {
  mt_prng g;
  mt_prng_make(&g, seed);
  for (int i = 0; i < 8; ++i) {
    s.oscs[i].kind = int32_t(mt_prng_uint32(&g) % 12);
    s.oscs[i].note = 30.0f + float(mt_prng_uint32(&g) % 50);
    s.oscs[i].p1 = 0.3f;
    s.oscs[i].p2 = 0.5f;
  }
  for (int k = 0; k < 24; ++k) {
    int row = int(mt_prng_uint32(&g) % 8), column = int(mt_prng_uint32(&g) % 8);
    if (row == column) column = (column + 1) % 8;
    set_cell(s, row, column, 2 + k % 8, 0.1f + 0.05f * float(k % 5), 1.0f + float(k % 3));
  }
}

// The feedback-FM operators live outside the record.
void copy_operators(fm_synth* to, const fm_synth* from) {
  for (int k = 0; k < fm_synth_osc_array_length(&from->operators); ++k) {
    *fm_synth_osc_array_allocate(&to->operators, k) = *fm_synth_osc_array_get(&from->operators, k);
  }
}

}  // namespace

TEST(Modmatrix, DefaultRecordPlaysA440HzSineOfAmplitudeOneOnEveryVoice) {
  engine_reset();
  synth_state& s = synth();
  int crossings = 0;
  float peak = 0, previous = diagonal(s, 0);
  for (int n = 0; n < 44100; ++n) {
    modmatrix_osc(&s);
    float y = diagonal(s, 0);
    crossings += previous < 0 && y >= 0;
    previous = y;
    peak = std::max(peak, std::fabs(y));
    for (int cell = 0; cell < 64; ++cell)  // off the diagonal nothing sounds
      if (cell % 9) { ASSERT_EQ(s.cells[cell / 8][cell % 8].value, 0.0f); }
  }
  EXPECT_NEAR(crossings, 440, 1);
  EXPECT_GT(peak, 0.9999f);
  EXPECT_LE(peak, 1.0f);
}

TEST(Modmatrix, FrequencyModulationSwingsBetweenZeroAndTwiceThePitch) {
  engine_reset();
  synth_state& s = synth();
  set_cell(s, 0, 1, MOD_FRQ, 1.0f);
  float lowest = 1e9f, highest = 0;
  for (int n = 0; n < 4410; ++n) {
    double before = s.oscs[1].phase;
    modmatrix_osc(&s);
    double step = std::fmod(s.oscs[1].phase - before + 1.0, 1.0) * 44100.0;
    lowest = std::min(lowest, float(step));
    highest = std::max(highest, float(step));
  }
  EXPECT_NEAR(lowest, 0.0f, 1.0f);
  EXPECT_NEAR(highest, 880.0f, 1.0f);
}

TEST(Modmatrix, MixReadsLowerSourcesNowAndHigherSourcesOneSampleLate) {
  engine_reset();
  synth_state& s = synth();
  set_cell(s, 0, 1, MOD_MIX, 1.0f, 2.0f);  // weight 0.5, same sample
  set_cell(s, 2, 0, MOD_MIX, 1.0f);        // previous sample
  for (int n = 0; n < 100; ++n) {
    double phase1 = s.oscs[1].phase, phase0 = s.oscs[0].phase;
    float previous2 = diagonal(s, 2);
    modmatrix_osc(&s);
    float own1 = float(std::sin(2 * std::numbers::pi * double(float(phase1))));
    EXPECT_FLOAT_EQ(diagonal(s, 1), 0.5f * diagonal(s, 0) + own1);
    float own0 = float(std::sin(2 * std::numbers::pi * double(float(phase0))));
    EXPECT_FLOAT_EQ(diagonal(s, 0), previous2 + own0) << n;
  }
}

TEST(Modmatrix, TriggerRestartsOneSampleAfterAEuclideanPulse) {
  engine_reset();
  synth_state& s = synth();
  s.oscs[0].kind = OSC_EUC;
  s.oscs[0].p1 = 1.0f;  // a pulse on every cycle
  s.oscs[1].kind = OSC_AR;
  s.oscs[1].note = -60.0f;  // slow, so its timer only restarts when triggered
  set_cell(s, 0, 1, MOD_TRG, 1.0f);
  int pulses = 0;
  bool pulse_before = false;
  modmatrix_osc(&s);
  for (int n = 1; n < 2000; ++n) {
    float timer = osc_ar(s.oscs[1]).timer;
    modmatrix_osc(&s);
    bool restarted = osc_ar(s.oscs[1]).timer > timer;  // the timer only ever rises on a restart
    EXPECT_EQ(restarted, pulse_before) << n;
    pulse_before = diagonal(s, 0) == 1.0f;
    pulses += pulse_before;
  }
  EXPECT_GE(pulses, 15);
}

TEST(Modmatrix, BlockPlanGivesExactlyThePerSampleResult) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    engine_reset();
    busy_patch(synths[0], seed);
    synths[0].oscs[3].started = 0;
    synth_state reference = synths[0];  // the same patch on the other record, with its own operators
    keep_operators(reference, synths[1]);
    for (int i = 0; i < 8; ++i) {
      copy_operators(&reference.oscs[i].fm_saw, &synths[0].oscs[i].fm_saw);
      copy_operators(&reference.oscs[i].fm_square, &synths[0].oscs[i].fm_square);
    }
    synths[1] = reference;
    static float voices[8][256];
    modmatrix_plan plan{};
    for (int block = 0; block < 4; ++block) {
      mt_prng before = prng;  // noise and shift registers draw from the shared generator: same draws
      modmatrix_plan_make(&plan, &synths[0]);
      modmatrix_render(&synths[0], &plan, voices, 256);
      prng = before;
      for (int n = 0; n < 256; ++n) {
        modmatrix_osc(&synths[1]);
        for (int v = 0; v < 8; ++v) ASSERT_EQ(voices[v][n], diagonal(synths[1], v)) << seed << " " << n;
      }
    }
    synth_state compared = synths[1];
    keep_operators(compared, synths[0]);
    EXPECT_EQ(std::memcmp(&synths[0], &compared, sizeof(synth_state)), 0) << seed;
  }
}

TEST(Modmatrix, PhaseStaysFiniteForDivisorZeroAndNonFiniteNotes) {
  engine_reset();
  synth_state& s = synth();
  s.oscs[0].divisor = 0.0f;
  s.oscs[1].note = NAN;
  s.oscs[2].note = INFINITY;
  for (int n = 0; n < 10; ++n) modmatrix_osc(&s);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(s.oscs[i].phase) && diagonal(s, i) == 0.0f) << i;
  // Mended, the oscillators sound again.
  s.oscs[0].divisor = 1.0f;
  s.oscs[1].note = 57.0f;
  s.oscs[2].note = 57.0f;
  float peak[3] = {0, 0, 0};
  for (int n = 0; n < 200; ++n) {
    modmatrix_osc(&s);
    for (int i = 0; i < 3; ++i) peak[i] = std::max(peak[i], std::fabs(diagonal(s, i)));
  }
  for (float p : peak) EXPECT_GT(p, 0.99f);
}
