// The soak's own parts: a random performance that is reproducible and stays within what MIDI and the panel
// can set, and damaged slot files the loader accepts that still render clean blocks.
#include <gtest/gtest.h>

#include <cstring>

#include "apps/kelvarin/presets.hpp"
#include "tests/engine/engine_fixture.hpp"
#include "tools/soak/soak_run.hpp"
#include "tools/soak/soak_stream.hpp"

namespace {

std::unique_ptr<soak_stream> stream_with_slots(uint32_t seed) {
  auto s = std::make_unique<soak_stream>();
  soak_stream_make(s.get(), seed);
  EXPECT_EQ(soak_stream_add_slots(s.get(), KV_SOAK_SLOTS), SLOTS) << KV_SOAK_SLOTS;
  return s;
}

}  // namespace

TEST(SoakStream, TheSameSeedPlaysTheSamePerformanceWithinTheKnobs) {
  auto a = stream_with_slots(5), b = stream_with_slots(5);
  for (int k = 0; k < 200; ++k) {
    midi_packet pa, pb;
    soak_midi_packet(a.get(), &pa);
    soak_midi_packet(b.get(), &pb);
    ASSERT_TRUE(pa.length == pb.length && std::memcmp(pa.data, pb.data, pa.length) == 0) << k;
  }
  EXPECT_EQ(soak_slot_bytes(a.get(), SLOT_BIT_FLIPS), soak_slot_bytes(b.get(), SLOT_BIT_FLIPS));
  engine_reset();  // its edits must be ones a performer can make, or its findings would not be the instrument's
  for (int k = 0; k < 20000; ++k) soak_panel_edit(a.get());
  EXPECT_TRUE(gain >= 0.0f && gain <= 3.0f) << gain;
  for (int32_t v = 0; v < VOICES; ++v) {
    const voice_params& w = synth().voices[v];
    const osc& o = synth().oscs[v];
    EXPECT_TRUE(w.volume >= 0 && w.volume <= 1 && w.pan >= -1 && w.pan <= 1 && w.delay_feedback >= 0 && w.delay_feedback <= 1 &&
                w.delay_wet >= 0 && w.delay_wet <= 1 && w.delay_time >= 0 && w.delay_time <= 441000 && w.lp_resonance <= 12 &&
                w.hp_resonance <= 12 && w.lp_cutoff > 0 && w.lp_cutoff <= 22051 && w.hp_cutoff > 0 && w.hp_cutoff <= 22051)
        << v;
    EXPECT_TRUE(o.divisor >= 0.5f && o.divisor <= 100.0f && o.kind >= 0 && o.kind < OSC_WAVEFORMS) << v;
    for (const mod_cell& c : synth().cells[v]) EXPECT_LE(std::fabs(c.amount / c.divisor), 1.0f + 1e-6f);
  }
}

// A damaged file the loader accepts may hold anything; the engine still plays finite, normal samples.
TEST(SoakStream, AcceptedDamagedFilesStillRenderCleanBlocks) {
  for (soak_slot_kind kind : {SLOT_NON_FINITE, SLOT_HUGE_DELAY, SLOT_ZERO_DIVISOR}) {
    engine_reset();
    auto s = stream_with_slots(uint32_t(40 + kind));
    engine_frames frames;
    soak_block_stats stats;
    int accepted = 0;
    for (int load = 0; load < 6; ++load) {
      accepted += soak_load(s.get(), soak_slot_bytes(s.get(), kind)) == PRESET_LOADED;
      for (int b = 0; b < 60; ++b, soak_check_block(&stats, frames.frame.left, frames.frame.right, 256)) frames.run();
    }
    EXPECT_GT(accepted, 0) << kind;
    EXPECT_EQ(stats.nan + stats.infinite + stats.subnormal, 0) << kind;
  }
}
