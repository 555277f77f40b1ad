// Cost of the raster frame conversions for one 1280 x 720 frame, the work each raster commit adds.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "pure/visuals/pixels.hpp"

namespace {
constexpr int32_t pixels = 1280 * 720;

void words_to_565(benchmark::State& state) {
  std::vector<uint32_t> in(pixels, 0x00FF8040u);
  std::vector<uint16_t> out(pixels);
  for (auto _ : state) {
    rgb_i888_to_i565(out.data(), in.data(), pixels);
    benchmark::DoNotOptimize(out.data());
  }
}

void floats_to_words(benchmark::State& state) {
  std::vector<float> in(3 * size_t(pixels), 0.5f);
  std::vector<uint32_t> out(pixels);
  for (auto _ : state) {
    rgb_3f_to_i888(out.data(), in.data(), pixels);
    benchmark::DoNotOptimize(out.data());
  }
}

void floats_to_565(benchmark::State& state) {
  std::vector<float> in(3 * size_t(pixels), 0.5f);
  std::vector<uint16_t> out(pixels);
  for (auto _ : state) {
    rgb_3f_to_i565(out.data(), in.data(), pixels);
    benchmark::DoNotOptimize(out.data());
  }
}
}  // namespace

BENCHMARK(words_to_565)->Unit(benchmark::kMillisecond);
BENCHMARK(floats_to_words)->Unit(benchmark::kMillisecond);
BENCHMARK(floats_to_565)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
