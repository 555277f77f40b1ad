// kelvarin-soak: hours of the instrument offline under a random performance, or one preset timed block by block.
//
//   kelvarin-soak [--seconds S] [--seed N] [--slots FOLDER]   random MIDI, edits and slot loads (soak)
//                 [--peak-bound B] [--inputs midi,edits,loads]
//   kelvarin-soak --preset FILE [--seconds S]                  one slot file, nothing else (deadline)
//
// Seconds are of audio, the 3 s silent start included in neither figure. Exit status 1 when a block held
// NaN, infinity, a subnormal or a sample beyond the bound, or when memory grew after the warm-up.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <string>

#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"
#include "library/devices/audio-frame.hpp"
#include "tools/soak/soak_run.hpp"
#include "tools/soak/soak_stream.hpp"

#if defined(__SANITIZE_ADDRESS__)
constexpr bool MEMORY_MEASURED = false;  // the sanitizer's quarantine holds freed memory on purpose
#else
constexpr bool MEMORY_MEASURED = true;
#endif

namespace {

constexpr int64_t SILENT_BLOCKS = 517;
constexpr double PERIOD_US = AUDIO_BLOCK_MS * 1000.0;
constexpr double MIB = 1024.0 * 1024.0;
// Allowed growth of the resident set after the warm-up: allocator pages a damaged file's odd sizes
// may leave touched, far below what one leaked slot file per load (4.6 kB x hundreds) would add.
constexpr int64_t RSS_SLACK = 2 * 1024 * 1024;

struct soak_options {
  double seconds = 120.0;
  uint32_t seed = 1;
  std::string slots = KV_SOAK_SLOTS;
  const char* preset = nullptr;
  float peak_bound = SOAK_PEAK_BOUND;
  const char* inputs = "midi,edits,loads";
};

const char USAGE[] =
    "usage: kelvarin-soak [--seconds S] [--seed N] [--slots FOLDER] [--peak-bound B] [--inputs midi,edits,loads]\n"
    "       kelvarin-soak --preset FILE [--seconds S]\n";

bool parse(soak_options* o, int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    const char* value = k + 1 < argc ? argv[k + 1] : nullptr;
    char* end = nullptr;
    if (!value) return false;
    if (!std::strcmp(argv[k], "--seconds")) o->seconds = std::strtod(value, &end);
    else if (!std::strcmp(argv[k], "--seed")) o->seed = uint32_t(std::strtoul(value, &end, 10));
    else if (!std::strcmp(argv[k], "--slots")) o->slots = value, end = const_cast<char*>("");
    else if (!std::strcmp(argv[k], "--preset")) o->preset = value, end = const_cast<char*>("");
    else if (!std::strcmp(argv[k], "--peak-bound")) o->peak_bound = std::strtof(value, &end);
    else if (!std::strcmp(argv[k], "--inputs")) o->inputs = value, end = const_cast<char*>("");
    else return false;
    if (!end || *end) return false;
    ++k;
  }
  return o->seconds > 0.0 && o->seconds <= 1e6 && o->peak_bound > 0.0f;
}

void stream_before_block(void* user, int64_t) { soak_stream_before_block(static_cast<soak_stream*>(user)); }

void print_timing(std::FILE* out, const char* what, const soak_timing& t) {
  double p999 = soak_timing_quantile(t, 0.999);
  std::fprintf(out, "callback %s: %lld blocks, mean %.1f us, 10th percentile %.0f us, median %.0f us, 99.9th percentile %.0f us (%.1f%% of %.0f us), slowest %.0f us (%.1f%%, block %lld)\n",
               what, static_cast<long long>(t.count), t.count ? t.sum_us / double(t.count) : 0.0,
               soak_timing_quantile(t, 0.1), soak_timing_quantile(t, 0.5), p999,
               100.0 * p999 / PERIOD_US, PERIOD_US, t.max_us, 100.0 * t.max_us / PERIOD_US, static_cast<long long>(t.slowest));
}

bool print_blocks(std::FILE* out, const soak_block_stats& s) {
  std::fprintf(out, "output: %lld blocks, peak %.4g (block %lld, bound %.4g), NaN %lld, infinite %lld, subnormal %lld\n",
               static_cast<long long>(s.blocks), double(s.peak), static_cast<long long>(s.peak_block),
               double(s.bound), static_cast<long long>(s.nan), static_cast<long long>(s.infinite),
               static_cast<long long>(s.subnormal));
  std::fprintf(out, "output: blocks over the bound %lld, blocks beyond full scale (+-1) %lld\n",
               static_cast<long long>(s.over_bound), static_cast<long long>(s.over_full_scale));
  return soak_block_clean(s);
}

void print_stream(std::FILE* out, const soak_counts& c) {
  std::fprintf(out, "input: %lld MIDI packets (%lld events), %lld panel edits\n", static_cast<long long>(c.packets),
               static_cast<long long>(c.events), static_cast<long long>(c.edits));
  const char* names[SLOT_KINDS] = {"shipped", "truncated", "bit-flipped", "non-finite", "huge delays", "divisor 0", "random bytes", "bad lengths"};
  std::fprintf(out, "slot loads:");
  for (int32_t k = 0; k < SLOT_KINDS; ++k) std::fprintf(out, " %s %lld,", names[k], static_cast<long long>(c.loads[k]));
  std::fprintf(out, " answered: loaded %lld, incomplete %lld, cannot load %lld\n", static_cast<long long>(c.loaded),
               static_cast<long long>(c.incomplete), static_cast<long long>(c.refused));
}

// Memory: at start, after the warm-up (the first tenth of the samples), the most after it, and the end.
bool print_memory(std::FILE* out, int64_t start, const std::vector<int64_t>& rss) {
  size_t warm = rss.size() / 10;
  int64_t after_warm = rss.empty() ? start : rss[warm];
  int64_t most = after_warm;
  for (size_t k = warm; k < rss.size(); ++k) most = rss[k] > most ? rss[k] : most;
  int64_t end = rss.empty() ? start : rss.back();
  std::fprintf(out, "memory (resident): start %.2f MiB, after warm-up %.2f MiB, most after warm-up %.2f MiB, end %.2f MiB%s\n",
               double(start) / MIB, double(after_warm) / MIB, double(most) / MIB, double(end) / MIB,
               MEMORY_MEASURED ? "" : " (not checked under AddressSanitizer)");
  std::fprintf(out, "memory over time (MiB):");
  for (size_t k = 0; k < rss.size(); ++k) std::fprintf(out, " %.2f", double(rss[k]) / MIB);
  std::fprintf(out, "\n");
  return !MEMORY_MEASURED || most - after_warm <= RSS_SLACK;
}

bool load_preset(const char* path) {
  stream s;
  stream_make_on_file(&s, STREAM_READ, path);
  const char* message = load(&s);
  stream_delete(&s);
  return message == PRESET_LOADED;
}

}  // namespace

int main(int argc, char** argv) {
  soak_options o;
  if (!parse(&o, argc, argv)) return std::fputs(USAGE, stderr), 2;
  // midifn prints every event and the audio frame its statistics: those go nowhere, the figures to
  // the real standard output.
  std::FILE* out = fdopen(dup(STDOUT_FILENO), "w");
  if (!out || !std::freopen("/dev/null", "w", stdout)) return 1;
  setenv("JACK_NO_START_SERVER", "1", 0);

  oscs_make();
  delay_lines_make();
  soak_stream stream_in;
  soak_stream_make(&stream_in, o.seed);
  soak_run run;
  run.stats.bound = o.peak_bound;
  run.blocks = SILENT_BLOCKS + int64_t(o.seconds * 1000.0 / AUDIO_BLOCK_MS + 0.5);
  run.sample_every = run.blocks / 40 > 0 ? run.blocks / 40 : 1;
  if (o.preset) {
    if (!load_preset(o.preset)) return std::fprintf(stderr, "kelvarin-soak: %s: not a complete slot file\n", o.preset), 1;
    std::fprintf(out, "deadline: %s, %.0f s of audio\n", o.preset, o.seconds);
  } else {
    int found = soak_stream_add_slots(&stream_in, o.slots);
    if (found == 0) return std::fprintf(stderr, "kelvarin-soak: no slot files in %s\n", o.slots.c_str()), 1;
    std::fprintf(out, "soak: %.0f s of audio, seed %u, inputs %s, %d shipped slots from %s\n", o.seconds, o.seed, o.inputs,
                 found, o.slots.c_str());
    // A performance without some of its inputs tells which of them leads to a fault.
    if (!std::strstr(o.inputs, "midi")) stream_in.packet_chance = 0.0f;
    if (!std::strstr(o.inputs, "edits")) stream_in.edit_chance = 0.0f;
    if (!std::strstr(o.inputs, "loads")) stream_in.load_chance = 0.0f;
    run.before = stream_before_block;
    run.user = &stream_in;
  }
  int64_t start_rss = soak_rss_bytes();
  auto t0 = std::chrono::steady_clock::now();
  int ran = soak_run_file_device(&run);
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  std::fprintf(out, "time: %.1f s of wall time for %.1f s of audio (%.1f x real time)\n", wall,
               double(run.done) * AUDIO_BLOCK_MS / 1000.0, double(run.done) * AUDIO_BLOCK_MS / 1000.0 / wall);
  bool clean = print_blocks(out, run.stats);
  if (!o.preset) print_stream(out, stream_in.counts);
  bool flat = print_memory(out, start_rss, run.rss);
  print_timing(out, "wall time", run.timing);
  print_timing(out, "CPU time", run.cpu_timing);
  bool ok = ran && clean && (o.preset || flat);
  std::fprintf(out, "result: %s\n", ok ? "ok" : ran ? "FAILED" : "FAILED (the audio layer did not run)");
  std::fclose(out);
  return ok ? 0 : 1;
}
