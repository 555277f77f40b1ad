// Cost of one audio block (256 frames): start-up state, a busy patch, and silence after sound.
#include <benchmark/benchmark.h>

#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"

namespace {

// Every kind in use across the sixteen oscillators, 24 acting off-diagonal cells of every type per
// record, every voice sounding through delay, low-pass, high-pass and pan.
void busy_record(synth_state& s, int record) {
  for (int i = 0; i < 8; ++i) {
    osc& o = s.oscs[i];
    o.kind = (i + 8 * record) % 12;
    o.note = 40.0f + float(5 * i + record);
    o.p1 = 0.2f;
    o.p2 = 0.5f;
    voice_params& v = s.voices[i];
    v.volume = 0.8f;
    v.pan = -0.8f + 0.2f * float(i);
    v.delay_wet = 0.3f;
    v.delay_time = 5000.0f + 1000.0f * float(i);
    v.lp_cutoff = 3000.0f + 500.0f * float(i);
    v.lp_resonance = 3.0f;
    v.hp_cutoff = 150.0f;
  }
  for (int k = 0; k < 24; ++k) {
    int row = (k * 3 + record) % 8, column = (row + 1 + k % 7) % 8;
    s.cells[row][column] = {2 + k % 8, 0.2f, 1.0f + float(k % 3), 0.0f, 0};
  }
}

void silent_record(synth_state& s) {
  for (int i = 0; i < 8; ++i) {
    s.cells[i][i].amount = 0.0f;  // oscillators running, voices silent
    s.voices[i].volume = 1.0f;
    s.voices[i].delay_wet = 0.5f;
    s.voices[i].lp_cutoff = 2000.0f;
    s.voices[i].lp_resonance = 6.0f;
  }
}

struct bench_audio {
  audio_frame frame{};
  bench_audio() {
    static bool lines = delay_lines_make() != 0;
    (void)lines;
    audio_frame_make(&frame);
    frame.report_time = 1e300;     // no statistics line
    frame.frame_counter = 1000;    // past the silent start
  }
  ~bench_audio() { audio_frame_delete(&frame); }
  void run() {
    audiofn(nullptr, &frame);
    frame.frame_counter++;
  }
};

void BM_audiofn_startup(benchmark::State& st) {
  oscs_make();
  bench_audio audio;
  for (auto _ : st) audio.run();
}

void BM_audiofn_busy(benchmark::State& st) {
  oscs_make();
  busy_record(synths[0], 0);
  busy_record(synths[1], 1);
  bench_audio audio;
  for (auto _ : st) audio.run();
}

// Sound first, then silence for long enough (30 s) that filter and delay states have decayed.
void BM_audiofn_silent_after_sound(benchmark::State& st) {
  oscs_make();
  busy_record(synths[0], 0);
  bench_audio audio;
  for (int b = 0; b < 200; ++b) audio.run();
  silent_record(synths[0]);
  for (int b = 0; b < 5200; ++b) audio.run();
  for (auto _ : st) audio.run();
}

}  // namespace

BENCHMARK(BM_audiofn_startup)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_audiofn_busy)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_audiofn_silent_after_sound)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_MAIN();
