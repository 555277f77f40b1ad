// The file device drives audiofn through a wrapper that times the call and checks the block it made.
#include "tools/soak/soak_run.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"
#include "library/devices/audio-portaudio.hpp"

namespace {

constexpr int64_t SILENT_BLOCKS = 517;  // 3000 ms of audio time: audiofn renders nothing yet

double wall_us() {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The process's CPU time (microsecond steps); the file device runs everything on this one thread.
double cpu_us() { return double(std::clock()) * (1e6 / double(CLOCKS_PER_SEC)); }

// The file device calls this on the thread that finishes the layer; a none frame ends the run.
void soak_block(void* user, audio_frame* frame) {
  auto* run = static_cast<soak_run*>(user);
  if (run->done >= run->blocks) return audio_frame_commit_none(frame);
  if (run->before) run->before(run->user, run->done);
  double cpu_start = cpu_us(), start = wall_us();
  audiofn(nullptr, frame);
  double took = wall_us() - start, cpu = cpu_us() - cpu_start;
  if (run->done >= SILENT_BLOCKS) {
    soak_timing_add(&run->timing, took);
    soak_timing_add(&run->cpu_timing, cpu);
    soak_check_block(&run->stats, frame->left, frame->right, AUDIO_BLOCK);
  }
  run->done++;
  if (run->sample_every > 0 && run->done % run->sample_every == 0) run->rss.push_back(soak_rss_bytes());
}

}  // namespace

void soak_check_block(soak_block_stats* stats, const float* left, const float* right, int32_t frames) {
  bool over = false, loud = false;
  for (const float* side : {left, right}) {
    for (int32_t k = 0; k < frames; ++k) {
      float x = side[k];
      int kind = std::fpclassify(x);
      stats->nan += kind == FP_NAN;
      stats->infinite += kind == FP_INFINITE;
      stats->subnormal += kind == FP_SUBNORMAL;
      if (kind == FP_NAN || kind == FP_INFINITE) continue;
      float a = std::fabs(x);
      over = over || a > stats->bound;
      loud = loud || a > 1.0f;
      if (a > stats->peak) stats->peak = a, stats->peak_block = stats->blocks;
    }
  }
  stats->over_bound += over;
  stats->over_full_scale += loud;
  stats->blocks++;
}

bool soak_block_clean(const soak_block_stats& stats) {
  return stats.nan == 0 && stats.infinite == 0 && stats.subnormal == 0 && stats.over_bound == 0;
}

void soak_timing_add(soak_timing* t, double us) {
  int64_t bin = us <= 0.0 ? 0 : int64_t(us);
  if (bin >= int64_t(t->bins.size())) bin = int64_t(t->bins.size()) - 1;
  t->bins[size_t(bin)]++;
  t->count++;
  t->sum_us += us;
  if (us > t->max_us) t->max_us = us, t->slowest = t->count - 1;
}

double soak_timing_quantile(const soak_timing& t, double q) {
  if (t.count == 0) return 0.0;
  auto wanted = int64_t(std::ceil(q * double(t.count)));
  int64_t seen = 0;
  for (size_t bin = 0; bin < t.bins.size(); ++bin) {
    seen += t.bins[bin];
    if (seen >= wanted) return double(bin + 1) < t.max_us ? double(bin + 1) : t.max_us;
  }
  return t.max_us;
}

int64_t soak_rss_bytes() {
  long pages = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  int read = std::fscanf(f, "%ld %ld", &pages, &resident);
  std::fclose(f);
  return read == 2 ? int64_t(resident) * sysconf(_SC_PAGESIZE) : -1;
}

namespace {

// PortAudio looks for sound cards while the layer is made and tells standard error about each one
// it cannot find; on a machine without any that is only noise around the figures.
int private_quiet_audio_io_make(audio_io** io) {
  std::fflush(stderr);
  int saved = dup(STDERR_FILENO), quiet = open("/dev/null", O_WRONLY);
  if (quiet >= 0) dup2(quiet, STDERR_FILENO);
  int made = audio_io_make(io);
  if (saved >= 0) dup2(saved, STDERR_FILENO), close(saved);
  if (quiet >= 0) close(quiet);
  return made;
}

}  // namespace

int soak_run_file_device(soak_run* run) {
  audio_io* io = nullptr;
  if (!private_quiet_audio_io_make(&io)) return 0;
  audio_device** list = nullptr;
  audio_io_define(io, &list);
  audio_device* file = list[0];
  audio_device_command(file, "set-file", "/dev/null");
  int ok = audio_device_attach(file, soak_block, run) && audio_io_commit(io, file);
  audio_io_finish(&io);
  run->rss.push_back(soak_rss_bytes());
  return ok && run->done == run->blocks;
}
