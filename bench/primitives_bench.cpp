// Cost of each per-sample primitive, in nanoseconds per call.
#include <benchmark/benchmark.h>

#include "apps/experiments/fmosc.hpp"
#include "apps/kelvarin/euclid_pulse.hpp"
#include "apps/kelvarin/lsfr.hpp"
#include "pure/music/amp.hpp"
#include "pure/music/blit.hpp"
#include "toolset/algos/chance.hpp"

namespace {
constexpr float inc = 440.0f / 44100.0f;

void BM_leaky_lp_next(benchmark::State& st) {
  leaky_lp lp{};
  leaky_lp_make(&lp, 0.00001f);
  float x = 0.1f;
  for (auto _ : st) benchmark::DoNotOptimize(x = leaky_lp_next(&lp, x) * 0.5f + 0.1f);
}
void BM_blit_sawtooth_at(benchmark::State& st) {
  blit b;
  leaky_lp lp{};
  blit_make(&b, 0.5f);
  float phase = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(blit_sawtooth_at(&b, &lp, phase, inc));
    phase += inc;
    if (phase >= 1) phase -= 1;
  }
}
void BM_blit_square_at(benchmark::State& st) {
  blit b;
  leaky_lp lp{};
  blit_make(&b, 0.5f);
  float phase = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(blit_square_at(&b, &lp, phase, inc));
    phase += inc;
    if (phase >= 1) phase -= 1;
  }
}
void BM_fm(benchmark::State& st) {
  fm_synth fs{};
  fm_synth_make(&fs);
  fm_synth_setup(&fs, int32_t(st.range(0)));
  float y, phase = 0;
  for (auto _ : st) {
    fs.increment = inc;
    fs.phase = phase;
    st.range(0) == 0 ? fm_synth_saw(&fs, &y, 1) : fm_synth_square(&fs, &y, 1);
    benchmark::DoNotOptimize(y);
    phase += inc;
    if (phase >= 1) phase -= 1;
  }
}
void BM_euclid_pulse_step(benchmark::State& st) {
  euclid_pulse p;
  euclid_pulse_make(&p, 5, 13);
  for (auto _ : st) {
    benchmark::DoNotOptimize(euclid_pulse_output_bit(&p));
    euclid_pulse_next(&p);
  }
}
void BM_euclid_pulse_make(benchmark::State& st) {
  euclid_pulse p;
  for (auto _ : st) {
    euclid_pulse_make(&p, 27, 64);
    benchmark::DoNotOptimize(p.pattern);
  }
}
void BM_lsfr_step(benchmark::State& st) {
  lsfr r;
  lsfr_make(&r, 0xACE1);
  for (auto _ : st) {
    lsfr_next(&r);
    benchmark::DoNotOptimize(lsfr_output_bit(&r));
  }
}
void BM_uniform_rand(benchmark::State& st) {
  mt_prng g;
  mt_prng_make(&g, 1);
  for (auto _ : st) benchmark::DoNotOptimize(uniform_rand(&g));
}
void BM_volume_to_amp(benchmark::State& st) {
  float v = 0.3f;
  for (auto _ : st) {
    benchmark::DoNotOptimize(volume_to_amp(v));
    v = v > 1 ? 0.0f : v + 0.001f;
  }
}
}  // namespace

BENCHMARK(BM_leaky_lp_next);
BENCHMARK(BM_blit_sawtooth_at);
BENCHMARK(BM_blit_square_at);
BENCHMARK(BM_fm)->Arg(0)->Arg(1);
BENCHMARK(BM_euclid_pulse_step);
BENCHMARK(BM_euclid_pulse_make);
BENCHMARK(BM_lsfr_step);
BENCHMARK(BM_uniform_rand);
BENCHMARK(BM_volume_to_amp);
BENCHMARK_MAIN();
