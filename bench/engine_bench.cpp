// Cost of one audio block (256 frames): start-up state, a busy patch, and silence after sound.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <utility>

#include "bench/busy_patch.hpp"
#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"

namespace {

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

// ENGINE_BENCH_BLOCKS fixes the number of blocks per run, so that instruction counts compare the same blocks.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* blocks = std::getenv("ENGINE_BENCH_BLOCKS");
  using bench_case = std::pair<const char*, void (*)(benchmark::State&)>;
  for (auto [name, fn] : {bench_case{"BM_audiofn_startup", BM_audiofn_startup}, {"BM_audiofn_busy", BM_audiofn_busy},
                          {"BM_audiofn_silent_after_sound", BM_audiofn_silent_after_sound}}) {
    auto* b = benchmark::RegisterBenchmark(name, fn)->Unit(benchmark::kMicrosecond)->Repetitions(5);
    b->ReportAggregatesOnly(true);
    if (blocks) b->Iterations(std::atoi(blocks));
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
