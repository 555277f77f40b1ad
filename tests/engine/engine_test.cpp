// The synthesis engine against what a performer must hear: every oscillator kind and matrix cell type,
// the block plan against the per-sample evaluator, the open low-pass over ten minutes, delay, the
// crossfade and gain on the fader, and the hand-over of loads to the audio thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <numbers>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "pure/music/amp.hpp"
#include "tests/engine/engine_fixture.hpp"
#include "toolset/algos/mt-prng.hpp"
#include "toolset/atomics.hpp"

namespace {

constexpr double pi = std::numbers::pi;

void set_cell(synth_state& s, int row, int column, int32_t type, float amount) { s.cells[row][column] = {type, amount, 1.0f, 0.0f, 0}; }

// Oscillator 0 held at phase 1/4 by a vanishing frequency: a source of exactly 1 every sample.
void constant_source(synth_state& s) { s.oscs[0].phase = 0.25, s.oscs[0].divisor = 1e30f; }

float sine_of(double phase) { return float(std::sin(2 * pi * double(float(phase)))); }

double harmonic(const std::vector<float>& x, int cycles, int h) {
  double re = 0, im = 0;
  for (size_t n = 0; n < x.size(); ++n) re += x[n] * std::cos(2 * pi * cycles * h * double(n) / double(x.size())), im += x[n] * std::sin(2 * pi * cycles * h * double(n) / double(x.size()));
  return 2 * std::hypot(re, im) / double(x.size());
}

// What one second of a voice sounds like, told from its samples alone.
std::string sound_of(const std::vector<float>& y) {
  std::set<float> values(y.begin(), y.end());
  int changes = 0;
  for (size_t n = 1; n < y.size(); ++n) changes += y[n] != y[n - 1];
  if (values == std::set<float>{0.0f}) return "silence";
  if (values == std::set<float>{0.0f, 1.0f}) return changes > 450 ? "pulses" : "bits held a cycle";
  if (changes < 150 && *values.rbegin() == 1.0f && y.back() == 0.0f) return "one rise and fall";
  if (values.size() > 100 && changes <= 450) return *values.begin() < 0 ? "noise held a cycle" : "values held a cycle";
  double h1 = harmonic(y, 441, 1), r2 = harmonic(y, 441, 2) / h1, r3 = harmonic(y, 441, 3) / h1;
  if (r2 > 0.3 && harmonic(y, 441, 4) / h1 < 0.02) return "pulse";  // the feedback-FM square: two saws of twice the pitch
  if (r2 > 0.3 && r2 < 0.7) return "saw";
  if (r2 > 0.05) return "other";
  if (r3 > 0.2 && r3 < 0.45) return "square";
  if (std::fabs(r3 - 1.0 / 9) < 0.02 && std::fabs(h1 - 8 / (pi * pi)) < 0.02) return "triangle";
  return r3 < 0.01 && std::fabs(h1 - 1) < 0.01 ? "sine" : "other";
}

// Steady-state gain of a block filter for a sine of `hz`, after a second of settling.
double measured_gain(const std::function<void(float*)>& run, double hz) {
  float block[256];
  double peak = 0;
  for (int b = 0; b < 344; ++b) {
    for (int k = 0; k < 256; ++k) block[k] = float(std::sin(2 * pi * hz * (b * 256 + k) / 44100.0));
    run(block);
    for (int k = 0; b > 172 && k < 256; ++k) peak = std::max(peak, double(std::fabs(block[k])));
  }
  return peak;
}

// The crossfade curve at fade x for a = 1, from its three segments in decibels.
double curve(double x) {
  return x <= 0.1 ? std::pow(10.0, -2.7 / 20) * x * 10 : x < 0.9 ? std::pow(10.0, -3 * (1 - x) / 20) : 1 + (1 - std::pow(10.0, -0.3 / 20)) * (x - 1) * 10;
}

}  // namespace

TEST(OscillatorKinds, EachKindRunsItsOwnGenerator) {
  const char* expected[OSC_WAVEFORMS] = {"sine", "triangle", "saw", "pulse", "silence", "noise held a cycle",
                                         "bits held a cycle", "one rise and fall", "pulses", "saw", "square",
                                         "values held a cycle"};
  for (int32_t kind = 0; kind <= OSC_WAVEFORMS; ++kind) {
    synth_state& s = (engine_reset(), synth());
    s.oscs[1].kind = kind;
    s.oscs[1].note = float(57.0 + 12.0 * std::log2(441.0 / 440.0));  // 100 samples a period
    std::vector<float> y;
    for (int n = 0; n < 44100; ++n, y.push_back(s.cells[1][1].value)) modmatrix_osc(&s);
    EXPECT_EQ(sound_of(y), kind < OSC_WAVEFORMS ? expected[kind] : "silence") << kind;
  }
}

// Oscillator 1 after one sample, from its phase before it (p1) and oscillator 2's (p2); source 0 is 1.
TEST(ModulationMatrix, EachCellTypeActsAsItsRuleSays) {
  const struct {
    const char* what;
    std::function<void(synth_state&)> wire;
    std::function<float(double, double)> voice1, voice2;
  } cases[] = {
      {"amp adds to the level", [](synth_state& s) { set_cell(s, 0, 1, MOD_AMP, 0.5f); }, [](double p1, double) { return 1.5f * sine_of(p1); }, nullptr},
      {"phs shifts the phase by w F v / 44100", [](synth_state& s) { set_cell(s, 0, 1, MOD_PHS, 0.25f * 44100.0f / 440.0f); },
       [](double p1, double) { return sine_of(p1 + 0.25); }, nullptr},
      {"diagonal weight 0 silences unless amp lifts", [](synth_state& s) { s.cells[1][1].amount = 0.0f, set_cell(s, 0, 1, MOD_AMP, 0.5f); },
       [](double p1, double) { return 0.5f * sine_of(p1); }, nullptr},
      {"diagonal zro mutes the voice, the oscillator still modulates", [](synth_state& s) { s.cells[1][1].type = MOD_ZRO, set_cell(s, 1, 2, MOD_MIX, 1.0f); },
       [](double, double) { return 0.0f; }, [](double p1, double p2) { return sine_of(p1) + sine_of(p2); }},
  };
  for (const auto& c : cases) {
    synth_state& s = (engine_reset(), synth());
    constant_source(s);
    c.wire(s);
    for (int n = 0; n < 300; ++n) {
      double p1 = s.oscs[1].phase, p2 = s.oscs[2].phase;
      modmatrix_osc(&s);
      ASSERT_NEAR(s.cells[1][1].value, c.voice1(p1, p2), 2e-6f) << c.what << " " << n;
      ASSERT_EQ(s.cells[0][0].value, 1.0f);
      ASSERT_NEAR(s.cells[2][2].value, c.voice2 ? c.voice2(p1, p2) : sine_of(p2), 2e-6f) << c.what;
      ASSERT_EQ(s.cells[1][3].value, 0.0f) << "a zro cell carries nothing";
    }
  }
}

// Oscillator 1 holds half the source from each of its wraps; oscillator 2, under a proportional frequency
// cell, swings between 0 and twice 440 Hz.
TEST(ModulationMatrix, SampleAndHoldTakesTheSourceAtTheDestinationsWrapAndFrequencyCellsScaleThePitch) {
  synth_state& s = (engine_reset(), synth());
  s.oscs[1].note = 45.0f;  // 220 Hz under a 440 Hz source
  set_cell(s, 0, 1, MOD_SH, 0.5f);
  set_cell(s, 0, 2, MOD_FRQ, 1.0f);
  float held = 0.0f;
  int wraps = 0;
  double lowest = 1e9, highest = 0;
  for (int n = 0; n < 2000; ++n) {
    double p1 = s.oscs[1].phase, p2 = s.oscs[2].phase;
    modmatrix_osc(&s);
    lowest = std::min(lowest, std::fmod(s.oscs[2].phase - p2 + 1.0, 1.0) * 44100.0);
    highest = std::max(highest, std::fmod(s.oscs[2].phase - p2 + 1.0, 1.0) * 44100.0);
    if (s.oscs[1].phase < p1) held = 0.5f * s.cells[0][0].value, wraps++;
    ASSERT_FLOAT_EQ(s.cells[1][1].value, held + sine_of(p1)) << n;
  }
  EXPECT_GE(wraps, 9);
  EXPECT_TRUE(lowest < 1.0 && std::fabs(highest - 880.0) < 1.0) << lowest << " " << highest;
}

// An attack-release oscillator so slow that its timer only rises when a trigger cell restarts it: it
// does so on the sample after each fall of the pulsing source, and only then (by the block plan, one
// sample a block; the plan against the per-sample evaluator is checked below).
TEST(ModulationMatrix, TriggerCellsRestartTheDestinationAfterAFall) {
  synth_state& s = (engine_reset(), synth());
  s.oscs[0].kind = OSC_EUC;
  s.oscs[0].p1 = 1.0f;  // a pulse every cycle
  s.oscs[1].kind = OSC_AR;
  s.oscs[1].note = -60.0f;
  set_cell(s, 0, 1, MOD_TRG, 1.0f);
  static float voices[8][256];
  modmatrix_plan plan{};
  bool pulse_before = false;
  int pulses = 0;
  for (int n = 0; n < 2000; ++n) {
    float timer = osc_ar(s.oscs[1]).timer;
    modmatrix_plan_make(&plan, &s);
    modmatrix_render(&s, &plan, voices, 1);
    ASSERT_TRUE(n == 0 || (osc_ar(s.oscs[1]).timer > timer) == pulse_before) << n;
    pulse_before = s.cells[0][0].value == 1.0f;
    pulses += pulse_before;
  }
  EXPECT_GE(pulses, 15);
}

// A Euclidean oscillator rebuilt on its first sample from parameters moved by pr1 / pr2 cells: 8 onsets of
// 64 steps, or 3 of 8, give 8 or 24 pulses in 64 cycles.
TEST(ModulationMatrix, ParameterCellsMoveTheGeneratorsParameters) {
  for (auto [type, p1, p2, want] : {std::tuple{MOD_PR1, 0.0f, 1.0f, 8}, {MOD_PR2, 3.0f / 64.0f, 0.0f, 24}}) {
    synth_state& s = (engine_reset(), synth());
    constant_source(s);
    s.oscs[1].kind = OSC_EUC, s.oscs[1].p1 = p1, s.oscs[1].p2 = p2;
    set_cell(s, 0, 1, type, 0.125f);
    int pulses = 0;
    for (int wraps = 0; wraps < 64; pulses += s.cells[1][1].value == 1.0f) {
      double before = s.oscs[1].phase;
      modmatrix_osc(&s);
      wraps += s.oscs[1].phase < before;
    }
    EXPECT_EQ(pulses, want) << osc_modulation_type_as_string(type);
  }
}

TEST(ModulationMatrix, BlockPlanGivesExactlyThePerSampleResult) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    engine_reset();
    mt_prng g;
    mt_prng_make(&g, seed);
    synth_state& s = synths[0];
    for (int i = 0; i < VOICES; ++i) {
      s.oscs[i].kind = int32_t(mt_prng_uint32(&g) % OSC_WAVEFORMS), s.oscs[i].note = 30.0f + float(mt_prng_uint32(&g) % 50);
      s.oscs[i].p1 = 0.3f, s.oscs[i].p2 = 0.5f;
    }
    for (int k = 0; k < 24; ++k) {  // every cell type, weights below 1
      int row = int(mt_prng_uint32(&g) % 8), column = int(mt_prng_uint32(&g) % 8);
      s.cells[row][column == row ? (column + 1) % 8 : column] = {2 + k % 8, 0.1f + 0.05f * float(k % 5), 1.0f + float(k % 3), 0, 0};
    }
    synth_state reference = s;  // the same patch on the other record, with its own copies of the operators
    keep_operators(reference, synths[1]);
    for (int i = 0; i < VOICES; ++i)
      for (auto [to, from] : {std::pair{&reference.oscs[i].fm_saw, &s.oscs[i].fm_saw}, {&reference.oscs[i].fm_square, &s.oscs[i].fm_square}})
        for (int k = 0; k < fm_synth_osc_array_length(&from->operators); ++k) *fm_synth_osc_array_allocate(&to->operators, k) = *fm_synth_osc_array_get(&from->operators, k);
    synths[1] = reference;
    static float voices[8][256];
    modmatrix_plan plan{};
    for (int block = 0; block < 4; ++block) {
      mt_prng before = prng;  // noise and shift registers draw from the shared generator: same draws
      modmatrix_plan_make(&plan, &s);
      modmatrix_render(&s, &plan, voices, 256);
      prng = before;
      for (int n = 0; n < 256; ++n) {
        modmatrix_osc(&synths[1]);
        for (int v = 0; v < VOICES; ++v) ASSERT_EQ(voices[v][n], synths[1].cells[v][v].value) << seed << " " << n;
      }
    }
    synth_state compared = synths[1];
    keep_operators(compared, s);
    EXPECT_EQ(std::memcmp(&s, &compared, sizeof(synth_state)), 0) << seed;
  }
}

// At its default and top cutoff the low-pass passes the sound unchanged for ten minutes and more: the
// recursion with both poles at z = -1 would drift without bound.
TEST(VoiceChain, OpenLowPassPassesTenMinutesOfSineUnchanged) {
  lp_filter lp{};
  lp_filter_make(&lp);
  lp_filter_set_cutoff(&lp, 22050.0f);
  float block[256], in[256];
  double phase = 0;
  bool unchanged = true;
  for (int b = 0; b < 10 * 60 * 44100 / 256 + 1; ++b) {
    for (int k = 0; k < 256; ++k, phase = std::fmod(phase + 440.0 / 44100.0, 1.0)) in[k] = block[k] = float(std::sin(2 * pi * phase));
    lp_filter_do(&lp, block);
    unchanged &= std::memcmp(block, in, sizeof block) == 0;
  }
  EXPECT_TRUE(unchanged);
  for (float hz : {5000.0f, 22000.0f, 30000.0f, NAN, 0.0f}) {  // lowered afterwards, it filters from memories that followed
    double g = measured_gain([&](float* b) { lp_filter_set_cutoff(&lp, hz), lp_filter_do(&lp, b); }, 440.0);
    EXPECT_TRUE(std::isfinite(g) && g < 1.01 && (hz != 5000.0f || g > 0.99)) << hz << " " << g;
  }
  lp_filter_set_cutoff(&lp, 440.0f);
  lp_filter_set_resonance(&lp, 6.0f);  // at the cutoff the level is lifted 1 / (10^-0.6 sqrt 2) times
  EXPECT_NEAR(measured_gain([&](float* b) { lp_filter_do(&lp, b); }, 440.0), 2.8150, 0.03);
}

// An impulse gives echoes trunc(delay) samples apart, each the feedback times the one before, also when
// shorter than a block and across the end of the line.
TEST(VoiceChain, DelayEchoesTruncatedDelayApart) {
  for (auto [delay, feedback, start] : {std::tuple{14700.0f, 0.75f, 0}, {3.7f, 0.5f, DELAY_LINE_FLOATS - 300}, {300.0f, 0.5f, DELAY_LINE_FLOATS - 100}}) {
    engine_reset();
    delay_line_tapin[0] = start;
    for (int n = 0; n < 120 * 256; n += 256) {
      float block[256] = {n == 0 ? 1.0f : 0.0f};
      feedback_delay(block, 0, 0.0f, delay, feedback);
      for (int k = 0; k < 256; ++k) ASSERT_NEAR(block[k], (n + k) % int(delay) ? 0.0f : std::pow(feedback, (n + k) / int(delay)), 1e-6f) << delay << " " << n + k;
    }
  }
}

// The callback filters the eight voices side by side: blocks and filter memories must come out as the
// per-voice low-pass and high-pass leave them, for cutoffs and resonances of every range.
TEST(VoiceChain, VoicesSideBySideFilterAsOneVoiceAfterAnother) {
  static float side_by_side[8][256], one_by_one[8][256];
  lp_filter lp_one[8];
  chamberlin_filter hp_one[8];
  filters_make();
  for (int v = 0; v < 8; ++v) {
    lp_filter_set_cutoff(&lps[v], 30.0f * float(v * v * v + 1));
    lp_filter_set_resonance(&lps[v], float(v % 4) * 4.0f);
    chamberlin_filter_set_cutoff(&chamberlins[v], 50.0f * float(v * v + 1));
    chamberlin_filter_set_resonance(&chamberlins[v], float(v) * 0.7f);
    for (int k = 0; k < 256; ++k) side_by_side[v][k] = float(std::sin(0.01 * (v + 1) * k)) + (k == 9 * v ? 3.0f : 0.0f);
  }
  std::memcpy(one_by_one, side_by_side, sizeof one_by_one);
  std::memcpy(lp_one, lps, sizeof lp_one);
  std::memcpy(hp_one, chamberlins, sizeof hp_one);
  for (int v = 0; v < 8; ++v) {
    lp_filter_do(&lp_one[v], one_by_one[v]);
    chamberlin_filter_do(&hp_one[v], 0, one_by_one[v]);
  }
  voice_filters_do(side_by_side);
  EXPECT_EQ(std::memcmp(one_by_one, side_by_side, sizeof one_by_one), 0);
  EXPECT_EQ(std::memcmp(lp_one, lps, sizeof lp_one) + std::memcmp(hp_one, chamberlins, sizeof hp_one), 0);
}

// Crossfade and master gain scale the voice volume before the fader law, so they act on the fader
// position: a centred voice at volume 1 reaches each side at -3 dB, at gain 0.5 at the fader's 0.5.
TEST(AudioCallback, CrossfadeAndGainMoveTheFaderAndALoadFadesOver44Blocks) {
  engine_reset();
  engine_frames frames;
  synth().voices[0].volume = 1.0f;
  frames.run(100);
  const float full = frames.peak();
  EXPECT_NEAR(full, 0.7071f * 1.01774f, 0.001f);  // the default 70 Hz high-pass lifts 440 Hz by 1.8 %
  gain = 0.5f, frames.run(20);
  EXPECT_NEAR(frames.peak() / full, volume_to_amp(0.5f), 0.002f);
  gain = 1.0f;
  synth_state next = synth();
  next.voices[0].volume = 0.0f;  // the new sound is silent: the old one, now dry in the back, is heard
  engine_load(next);
  for (float b = 1, fade = 1.0f; b <= 44; ++b) {
    frames.run();
    fade = std::max(fade - 1024.0f / 44100.0f, 0.0f);
    EXPECT_NEAR(frames.peak(), volume_to_amp(float(curve(fade))) * 0.70711f, 0.01f) << b;
  }
}

// A load reaches a playing audio thread at its next block, flipping the records inside a block, and a
// save's copy is taken between blocks. A late thread keeps the newest load posted for its next block
// (never written beside it; no second wait); after a second without blocks the stream has stopped: the
// posted load is taken back and applied here, once. A finished stream leaves nothing posted.
TEST(AudioCallback, LoadsAndSnapshotsCrossToTheAudioThreadByHandOver) {
  engine_reset();
  synth_state incoming = synths[1], copy{};
  synth_handoff_enable(1);
  engine_frames frames;
  std::atomic<int> blocks{0}, flips_inside{0};
  std::thread audio([&] {
    for (; blocks >= 0; blocks++, std::this_thread::sleep_for(std::chrono::microseconds(500))) {
      int32_t before = load_acquire(synth_current);
      frames.run();
      flips_inside += load_acquire(synth_current) != before;
    }
  });
  while (blocks < 3) std::this_thread::yield();
  for (float note : {60.0f, 61.0f}) incoming.oscs[0].note = note, synth_apply_loaded(&incoming);
  synth_snapshot(&copy);
  incoming.oscs[0].note = 62.0f, synth_apply_loaded(&incoming);
  blocks = -1000000, audio.join();
  EXPECT_EQ(std::tuple(flips_inside.load(), copy.oscs[0].note, load_acquire(synth_current)), std::tuple(3, 61.0f, 1));
  auto apply = [&](float note) {
    auto start = std::chrono::steady_clock::now();
    incoming.oscs[0].note = note, synth_apply_loaded(&incoming);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  apply(69.0f);
  EXPECT_LT(apply(70.0f), 0.05) << "no second wait while no block runs";
  synth_snapshot(&copy);  // read beside the late thread, not the copy it took while it played
  EXPECT_EQ(std::tuple(load_acquire(synth_current), synth().oscs[0].note, copy.oscs[0].note), std::tuple(1, 62.0f, 62.0f));
  frames.run();  // the late block takes the newest load
  EXPECT_EQ(std::pair(load_acquire(synth_current), synth().oscs[0].note), std::pair(0, 70.0f));
  apply(71.0f);  // posted again, and then no block for a second: stopped
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  apply(72.0f);
  frames.run();
  EXPECT_EQ(std::pair(load_acquire(synth_current), synth().oscs[0].note), std::pair(1, 72.0f)) << "applied here, once";
  apply(73.0f), synth_handoff_enable(0), frames.run();
  EXPECT_EQ(std::pair(load_acquire(synth_current), synth().oscs[0].note), std::pair(1, 72.0f)) << "nothing left posted";
}
