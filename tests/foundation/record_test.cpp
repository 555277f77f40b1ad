// The synthesizer records after start-up: defaults, deterministic phases, the flip and note-on.
#include <gtest/gtest.h>

#include <cstring>

#include "apps/kelvarin/synth.hpp"

TEST(Record, DefaultsAfterStartUp) {
  oscs_make();
  EXPECT_EQ(&synth(), &synths[0]);
  EXPECT_EQ(synth().fade, 1.0f);
  EXPECT_EQ(synth_back().fade, 0.0f);
  for (const synth_state& s : synths) {
    for (int n = 0; n < 8; ++n) {
      const osc& o = s.oscs[n];
      EXPECT_EQ(o.kind, 0);
      EXPECT_EQ(o.note, 57.0f);
      EXPECT_EQ(o.divisor, 1.0f);
      EXPECT_EQ(o.lsfr.reg, 0xDEAD);
      EXPECT_EQ(fm_synth_osc_array_length(&o.fm_square.operators), 2);
      for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(s.cells[n][c].type, c == n ? 1 : 0);
        EXPECT_EQ(s.cells[n][c].amount, c == n ? 1.0f : 0.0f);
        EXPECT_EQ(s.cells[n][c].divisor, 1.0f);
      }
      EXPECT_EQ(s.voices[n].volume, 0.0f);
      EXPECT_EQ(s.voices[n].delay_time, 14700.0f);
      EXPECT_EQ(s.voices[n].lp_cutoff, 22050.0f);
    }
  }
  // The Euclidean default (3 of 8) sits in the bytes the attack-release area shares.
  osc& o = synths[0].oscs[0];
  EXPECT_EQ(osc_euclid(o).steps, 8);
  EXPECT_EQ(osc_euclid(o).pattern, 0b00101001u);
  uint32_t timer_bits;
  std::memcpy(&timer_bits, &osc_ar(o).timer, 4);
  EXPECT_EQ(timer_bits, 0b00101001u);
}

TEST(Record, SixteenInitialPhasesAreTheFirstDrawsOfTheFixedSeed) {
  oscs_make();
  double first[16];
  for (int i = 0; i < 16; ++i) first[i] = synths[i / 8].oscs[i % 8].phase;
  mt_prng g;
  mt_prng_make(&g, 52724297u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(first[i], double(mt_prng_real_0_1_ii(&g)));
  oscs_make();
  for (int i = 0; i < 16; ++i) {
    double phase = synths[i / 8].oscs[i % 8].phase;  // a copy: the stored double is not 8-byte aligned
    EXPECT_EQ(phase, first[i]);
  }
}

TEST(Record, FlipAndNoteOn) {
  oscs_make();
  synth_flip();
  EXPECT_EQ(&synth(), &synths[1]);
  EXPECT_EQ(&synth_back(), &synths[0]);
  synth_flip();
  EXPECT_EQ(&synth(), &synths[0]);
  synth().oscs[2].started = 1;
  modmatrix_note_on(&synth(), 2, 60);
  EXPECT_EQ(synth().oscs[2].note, 60.0f);
  EXPECT_EQ(synth().oscs[2].started, 0);
  synth_state before;
  std::memcpy(&before, &synth(), sizeof before);
  modmatrix_note_on(&synth(), 8, 10);
  modmatrix_note_on(&synth(), -1, 10);
  EXPECT_EQ(std::memcmp(&before, &synth(), sizeof before), 0);
}
