// How many times faster than real time kelvarin-render bounces a busy preset (and the start-up sound).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "bench/busy_patch.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"

namespace {

constexpr double SECONDS = 60.0;

// User and system time of every finished child so far, in seconds.
double children_cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

std::string renderer() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string("./x");
  return dir.substr(0, dir.rfind('/')) + "/kelvarin-render";
}

// The synthesis engine's busy patch (its benchmark's first record): the kinds 0..7, 24 acting
// off-diagonal cells of the types amp..pr2, every voice sounding through delay, low-pass, high-pass and
// its own pan position. The renderer crossfades into it from the start-up sound, which stays the back
// record, so one of the two records is busy.
std::string save_busy_preset() {
  oscs_make();
  busy_record(synth(), 0);
  std::string path = "/tmp/kv-render-bench-" + std::to_string(getpid()) + ".dat";
  if (slot_save_to(path.c_str()) != PRESET_SAVED) return "";
  return path;
}

void render_speed(benchmark::State& state, const std::string& slot_args) {
  std::string out = "/tmp/kv-render-bench-" + std::to_string(getpid()) + ".wav";
  std::string command = renderer() + " " + slot_args + " --float --seconds " + std::to_string(int(SECONDS)) +
                        " " + out + " >/dev/null 2>&1";
  double total = 0, cpu_before = children_cpu_seconds();
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("kelvarin-render failed");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    total += seconds;
  }
  // Wall time suffers when other work shares the cores; the renderer's own CPU time does not.
  state.counters["x_real_time"] = SECONDS * double(state.iterations()) / total;
  state.counters["x_real_time_cpu"] = SECONDS * double(state.iterations()) / (children_cpu_seconds() - cpu_before);
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
