// The soak's own parts: the block check and timing figures it reports, and a random performance that is
// reproducible, stays within what MIDI and the panel can set, and damages slot files the way it says.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <tuple>

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

int differing_bits(const std::string& a, const std::string& b) {
  int bits = 0;
  for (size_t k = 0; k < a.size(); ++k) bits += __builtin_popcount(unsigned(uint8_t(a[k] ^ b[k])));
  return bits;
}

}  // namespace

TEST(SoakCheck, CountsEveryKindOfBadSampleAndFindsThePeak) {
  float left[256] = {}, right[256] = {};
  left[3] = std::numeric_limits<float>::quiet_NaN();
  right[4] = -std::numeric_limits<float>::infinity();
  right[5] = 1e-40f;
  left[9] = -2.5f;
  soak_block_stats s;
  soak_check_block(&s, left, right, 256);
  EXPECT_EQ(std::tuple(s.nan, s.infinite, s.subnormal, s.over_full_scale, s.over_bound), std::tuple(1, 1, 1, 1, 0));
  EXPECT_FLOAT_EQ(s.peak, 2.5f);
  EXPECT_FALSE(soak_block_clean(s));

  float loud[256] = {};
  loud[200] = 1500.0f;
  soak_check_block(&s, loud, loud, 256);
  EXPECT_EQ(std::tuple(s.over_bound, s.peak_block, s.blocks), std::tuple(1, 1, 2));

  soak_block_stats quiet;
  float half[256];
  std::fill(half, half + 256, 0.5f);
  soak_check_block(&quiet, half, half, 256);
  EXPECT_TRUE(soak_block_clean(quiet));
}

TEST(SoakCheck, TimingQuantilesComeFromEveryCall) {
  soak_timing t;
  for (int k = 1; k <= 1000; ++k) soak_timing_add(&t, double(k) - 0.5);
  EXPECT_DOUBLE_EQ(soak_timing_quantile(t, 0.5), 500.0);
  EXPECT_DOUBLE_EQ(soak_timing_quantile(t, 0.999), 999.0);
  EXPECT_DOUBLE_EQ(t.max_us, 999.5);
  soak_timing_add(&t, 5e6);  // beyond the bins: counted in the last one, still the slowest
  EXPECT_DOUBLE_EQ(t.max_us, 5e6);
  EXPECT_EQ(t.count, 1001);
}

TEST(SoakStream, TheSameSeedPlaysTheSamePerformance) {
  auto a = stream_with_slots(5), b = stream_with_slots(5), c = stream_with_slots(6);
  bool differs = false;
  for (int k = 0; k < 200; ++k) {
    midi_packet pa, pb, pc;
    soak_midi_packet(a.get(), &pa);
    soak_midi_packet(b.get(), &pb);
    soak_midi_packet(c.get(), &pc);
    ASSERT_EQ(pa.length, pb.length);
    ASSERT_EQ(std::memcmp(pa.data, pb.data, pa.length), 0);
    differs = differs || pa.length != pc.length || std::memcmp(pa.data, pc.data, pa.length) != 0;
  }
  EXPECT_TRUE(differs);
  EXPECT_EQ(soak_slot_bytes(a.get(), SLOT_BIT_FLIPS), soak_slot_bytes(b.get(), SLOT_BIT_FLIPS));
}

// Every mapped controller reaches every voice channel, and channels beyond the voices appear too.
TEST(SoakStream, MidiCoversEveryControllerOnEveryVoiceChannel) {
  auto s = stream_with_slots(9);
  std::set<std::pair<int32_t, int32_t>> seen;
  bool high_channel = false, junk = false;
  for (int k = 0; k < 40000; ++k) {
    midi_packet p;
    soak_midi_packet(s.get(), &p);
    int32_t n = midi_event_count(&p);
    junk = junk || n * 3 != p.length;
    for (int32_t i = 0; i < n; ++i) {
      midi_event e;
      midi_event_get(&p, &e, i);
      if (e.kind == MIDI_KIND_CC && e.channel < 8) seen.insert({e.number, e.channel});
      high_channel = high_channel || e.channel >= 8;
    }
  }
  for (int32_t ch = 0; ch < 8; ++ch) {
    for (int32_t cc : {7, 10, 48, 49}) EXPECT_TRUE(seen.count({cc, ch})) << cc << " " << ch;
    for (int32_t cc = 56; cc <= 87; ++cc) EXPECT_TRUE(seen.count({cc, ch})) << cc << " " << ch;
  }
  EXPECT_TRUE(high_channel);
  EXPECT_TRUE(junk);
}

// The soak's edits must be ones a performer can make, or its findings would not be the instrument's.
TEST(SoakStream, PanelEditsStayWithinTheKnobs) {
  engine_reset();
  auto s = stream_with_slots(3);
  for (int k = 0; k < 20000; ++k) soak_panel_edit(s.get());
  EXPECT_TRUE(gain >= 0.0f && gain <= 3.0f) << gain;
  for (int32_t v = 0; v < 8; ++v) {
    const voice_params& w = synth().voices[v];
    EXPECT_TRUE(w.volume >= 0 && w.volume <= 1 && w.pan >= -1 && w.pan <= 1) << v;
    EXPECT_TRUE(w.delay_feedback >= 0 && w.delay_feedback <= 1 && w.delay_wet >= 0 && w.delay_wet <= 1) << v;
    EXPECT_TRUE(w.delay_time >= 0 && w.delay_time <= 441000 && w.lp_resonance <= 12 && w.hp_resonance <= 12) << v;
    EXPECT_TRUE(w.lp_cutoff > 0 && w.lp_cutoff <= 22051 && w.hp_cutoff > 0 && w.hp_cutoff <= 22051) << v;
    const osc& o = synth().oscs[v];
    EXPECT_TRUE(o.divisor >= 0.5f && o.divisor <= 100.0f && o.kind >= 0 && o.kind < 12) << v;
    for (const mod_cell& c : synth().cells[v]) EXPECT_LE(std::fabs(c.amount / c.divisor), 1.0f + 1e-6f);
  }
}

TEST(SoakStream, DamagedSlotFilesAreDamagedAsNamed) {
  auto s = stream_with_slots(21);
  const std::string& shipped = s->slots[0];
  for (int k = 0; k < 50; ++k) {
    s->slots.assign(1, shipped);
    EXPECT_LT(soak_slot_bytes(s.get(), SLOT_TRUNCATED).size(), shipped.size());
    int flips = differing_bits(soak_slot_bytes(s.get(), SLOT_BIT_FLIPS), shipped);
    EXPECT_TRUE(flips >= 1 && flips <= 64) << flips;
    std::string zero = soak_slot_bytes(s.get(), SLOT_ZERO_DIVISOR);
    ASSERT_EQ(zero.size(), shipped.size());
    EXPECT_NE(zero, shipped);
  }
  EXPECT_EQ(soak_slot_bytes(s.get(), SLOT_SHIPPED), shipped);
  EXPECT_STREQ(soak_load(s.get(), shipped), PRESET_LOADED);
  EXPECT_STREQ(soak_load(s.get(), shipped.substr(0, 10)), PRESET_CANNOT_LOAD);
  EXPECT_EQ(std::pair(s->counts.loaded, s->counts.refused), std::pair(int64_t(1), int64_t(1)));
}

// A damaged file the loader accepts may hold anything in its fields; the engine still plays finite,
// normal samples from it, voice by voice.
TEST(SoakStream, AcceptedDamagedFilesStillRenderCleanBlocks) {
  for (soak_slot_kind kind : {SLOT_NON_FINITE, SLOT_HUGE_DELAY, SLOT_ZERO_DIVISOR}) {
    engine_reset();
    auto s = stream_with_slots(uint32_t(40 + kind));
    engine_frames frames;
    frames.skip_silent_start();
    soak_block_stats stats;
    int accepted = 0;
    for (int load = 0; load < 6; ++load) {
      accepted += soak_load(s.get(), soak_slot_bytes(s.get(), kind)) == PRESET_LOADED;
      for (int b = 0; b < 60; ++b) {
        frames.run();
        soak_check_block(&stats, frames.frame.left, frames.frame.right, 256);
      }
    }
    EXPECT_GT(accepted, 0) << kind;
    EXPECT_EQ(stats.nan + stats.infinite + stats.subnormal, 0) << kind;
  }
}
