// Oscillator kinds and matrix cell types, each against what a performer must hear from it, and the block
// plan against the per-sample evaluator.
#include <gtest/gtest.h>

#include <functional>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "tests/engine/engine_fixture.hpp"
#include "toolset/algos/mt-prng.hpp"

namespace {

void set_cell(synth_state& s, int row, int column, int32_t type, float amount) {
  s.cells[row][column] = {type, amount, 1.0f, 0.0f, 0};
}

// Oscillator 0 held at phase 1/4 by a vanishing frequency: a source of exactly 1 every sample.
void constant_source(synth_state& s) {
  s.oscs[0].phase = 0.25;
  s.oscs[0].divisor = 1e30f;
}

float sine_of(double phase) { return float(std::sin(2 * std::numbers::pi * double(float(phase)))); }

double harmonic(const std::vector<float>& x, int cycles, int h) {
  double re = 0, im = 0;
  for (size_t n = 0; n < x.size(); ++n) {
    double w = 2 * std::numbers::pi * cycles * h * double(n) / double(x.size());
    re += x[n] * std::cos(w);
    im += x[n] * std::sin(w);
  }
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
  if (std::fabs(r3 - 1.0 / 9) < 0.02 && std::fabs(h1 - 8 / (std::numbers::pi * std::numbers::pi)) < 0.02) return "triangle";
  return r3 < 0.01 && std::fabs(h1 - 1) < 0.01 ? "sine" : "other";
}

}  // namespace

TEST(OscillatorKinds, EachKindRunsItsOwnGenerator) {
  const char* expected[OSC_WAVEFORMS] = {"sine", "triangle", "saw", "pulse", "silence", "noise held a cycle",
                                         "bits held a cycle", "one rise and fall", "pulses", "saw", "square",
                                         "values held a cycle"};
  for (int32_t kind = 0; kind <= OSC_WAVEFORMS; ++kind) {
    engine_reset();
    synth_state& s = synth();
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
      {"mix adds to the output", [](synth_state& s) { set_cell(s, 0, 1, MOD_MIX, 0.5f); }, [](double p1, double) { return 0.5f + sine_of(p1); }, nullptr},
      {"phs shifts the phase by w F v / 44100", [](synth_state& s) { set_cell(s, 0, 1, MOD_PHS, 0.25f * 44100.0f / 440.0f); },
       [](double p1, double) { return sine_of(p1 + 0.25); }, nullptr},
      {"diagonal weight 0 silences unless amp lifts", [](synth_state& s) { s.cells[1][1].amount = 0.0f, set_cell(s, 0, 1, MOD_AMP, 0.5f); },
       [](double p1, double) { return 0.5f * sine_of(p1); }, nullptr},
      {"diagonal zro mutes the voice, the oscillator still modulates", [](synth_state& s) { s.cells[1][1].type = MOD_ZRO, set_cell(s, 1, 2, MOD_MIX, 1.0f); },
       [](double, double) { return 0.0f; }, [](double p1, double p2) { return sine_of(p1) + sine_of(p2); }},
  };
  for (const auto& c : cases) {
    engine_reset();
    synth_state& s = synth();
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

TEST(ModulationMatrix, SampleAndHoldTakesTheSourceAtTheDestinationsWrap) {
  engine_reset();
  synth_state& s = synth();
  s.oscs[1].note = 45.0f;  // 220 Hz under a 440 Hz source
  set_cell(s, 0, 1, MOD_SH, 0.5f);
  float held = 0.0f;
  int wraps = 0;
  for (int n = 0; n < 2000; ++n) {
    double p1 = s.oscs[1].phase;
    modmatrix_osc(&s);
    if (s.oscs[1].phase < p1) held = 0.5f * s.cells[0][0].value, wraps++;
    ASSERT_FLOAT_EQ(s.cells[1][1].value, held + sine_of(p1)) << n;
  }
  EXPECT_GE(wraps, 9);
}

// A Euclidean oscillator rebuilt on its first sample from parameters moved by pr1 / pr2 cells: 8 onsets of
// 64 steps, or 3 of 8, give 8 or 24 pulses in 64 cycles.
TEST(ModulationMatrix, ParameterCellsMoveTheGeneratorsParameters) {
  for (auto [type, p1, p2, want] : {std::tuple{MOD_PR1, 0.0f, 1.0f, 8}, {MOD_PR2, 3.0f / 64.0f, 0.0f, 24}}) {
    engine_reset();
    synth_state& s = synth();
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

TEST(ModulationMatrix, FrequencyCellsScaleThePitchAndTriggersRestartAfterAFall) {
  engine_reset();
  synth_state& s = synth();
  set_cell(s, 0, 1, MOD_FRQ, 1.0f);  // proportional: the pitch swings between 0 and twice 440 Hz
  float lowest = 1e9f, highest = 0;
  for (int n = 0; n < 4410; ++n) {
    double before = s.oscs[1].phase;
    modmatrix_osc(&s);
    float hz = float(std::fmod(s.oscs[1].phase - before + 1.0, 1.0) * 44100.0);
    lowest = std::min(lowest, hz), highest = std::max(highest, hz);
  }
  EXPECT_NEAR(lowest, 0.0f, 1.0f);
  EXPECT_NEAR(highest, 880.0f, 1.0f);
  engine_reset();
  s.oscs[0].kind = OSC_EUC;
  s.oscs[0].p1 = 1.0f;  // a pulse every cycle
  s.oscs[1].kind = OSC_AR;
  s.oscs[1].note = -60.0f;  // so slow that its timer only rises on a restart
  set_cell(s, 0, 1, MOD_TRG, 1.0f);
  bool pulse_before = false;
  int pulses = 0;
  modmatrix_osc(&s);
  for (int n = 1; n < 2000; ++n) {
    float timer = osc_ar(s.oscs[1]).timer;
    modmatrix_osc(&s);
    ASSERT_EQ(osc_ar(s.oscs[1]).timer > timer, pulse_before) << n;
    pulse_before = s.cells[0][0].value == 1.0f;
    pulses += pulse_before;
  }
  EXPECT_GE(pulses, 15);
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
