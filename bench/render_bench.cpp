// How many times faster than real time kelvarin-render bounces a busy preset (and the start-up sound).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"

namespace {

constexpr double SECONDS = 60.0;

std::string renderer() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string("./x");
  return dir.substr(0, dir.rfind('/')) + "/kelvarin-render";
}

// Eight sounding oscillators of eight kinds (FM saw and square, band-limited saw and square, triangle,
// noise, Euclidean rhythm, shift-register value), 24 off-diagonal cells of types out..pr2, every voice
// with echo, resonant low-pass, high-pass and its own pan position.
std::string save_busy_preset() {
  static const int32_t kinds[8] = {2, 3, 9, 10, 1, 5, 8, 11};
  oscs_make();
  synth_state& s = synth();
  for (int v = 0; v < 8; ++v) {
    s.oscs[v].kind = kinds[v];
    s.oscs[v].note = 45.0f + 5.0f * float(v);
    s.oscs[v].p1 = 3.0f;
    s.oscs[v].p2 = 8.0f;
    voice_params& p = s.voices[v];
    p = voice_params{0.7f, -0.8f + 0.2f * float(v), 0.5f, 0.3f, 5000.0f + 1000.0f * float(v), 3000.0f, 3.0f,
                     120.0f, 1.0f, {}};
    for (int k = 1; k <= 3; ++k) {
      mod_cell& c = s.cells[v][(v + k) % 8];
      c.type = 1 + (v * 3 + k) % 9;
      c.amount = 0.3f;
      c.divisor = 1.0f;
    }
  }
  std::string path = "/tmp/kv-render-bench-" + std::to_string(getpid()) + ".dat";
  if (slot_save_to(path.c_str()) != PRESET_SAVED) return "";
  return path;
}

void render_speed(benchmark::State& state, const std::string& slot_args) {
  std::string out = "/tmp/kv-render-bench-" + std::to_string(getpid()) + ".wav";
  std::string command = renderer() + " " + slot_args + " --float --seconds " + std::to_string(int(SECONDS)) +
                        " " + out + " >/dev/null 2>&1";
  double total = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("kelvarin-render failed");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    total += seconds;
  }
  state.counters["x_real_time"] = SECONDS * double(state.iterations()) / total;
  std::remove(out.c_str());
}

void BM_RenderBusyPreset(benchmark::State& state) {
  std::string preset = save_busy_preset();
  if (preset.empty()) return state.SkipWithError("cannot save the busy preset");
  render_speed(state, "--slot " + preset);
  std::remove(preset.c_str());
}

void BM_RenderStartUpSound(benchmark::State& state) { render_speed(state, ""); }

}  // namespace

BENCHMARK(BM_RenderBusyPreset)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderStartUpSound)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
