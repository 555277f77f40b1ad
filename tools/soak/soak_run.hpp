// Runs the instrument's audio callback offline through the audio layer's file device, block by block,
// checking every block it produces and timing every call of the callback.
#pragma once
#include <cstdint>
#include <vector>

// The largest sample a block may hold by default. A voice enters the mix at most at +10 dB of the fader
// law (3.16: volume times the master gain of 3), each side of the pan law at most at 1; sixteen voices
// (both records during a crossfade) of oscillators within +-1 give 50.6, and a resonant low-pass (Q
// about 11 at resonance 12) or echoes piling up at a feedback near 1 add another 20 dB. 1000, +60 dB
// over full scale, is therefore a runaway and not a sound: the engine's own guards only promise
// finite samples (below 3.4e38).
constexpr float SOAK_PEAK_BOUND = 1000.0f;

struct soak_block_stats {
  int64_t blocks = 0;  // rendered blocks (after the silent start)
  int64_t nan = 0, infinite = 0, subnormal = 0;
  float bound = SOAK_PEAK_BOUND;
  int64_t over_bound = 0;  // blocks with a sample beyond `bound`
  int64_t over_full_scale = 0;  // blocks with a sample beyond +-1 (a real output clips them)
  float peak = 0.0f;
  int64_t peak_block = -1;
};

// Counts the faults of one stereo block into `stats`.
void soak_check_block(soak_block_stats* stats, const float* left, const float* right, int32_t frames);
bool soak_block_clean(const soak_block_stats& stats);

// Call times of the callback in microseconds, in 1 us bins up to 100 ms.
struct soak_timing {
  std::vector<int64_t> bins = std::vector<int64_t>(100001, 0);
  int64_t count = 0;
  double sum_us = 0.0, max_us = 0.0;
  int64_t slowest = -1;  // which call (counting rendered blocks from 0) was the slowest
};
void soak_timing_add(soak_timing* t, double us);
double soak_timing_quantile(const soak_timing& t, double q);  // upper edge of its bin (at most the slowest)

int64_t soak_rss_bytes();  // resident set size of this process

// Called before each block with the block's number (counting from 0, silent start included).
using soak_before_block = void (*)(void* user, int64_t block);

struct soak_run {
  int64_t blocks = 0;  // to render, silent start included
  soak_before_block before = nullptr;
  void* user = nullptr;
  int64_t sample_every = 0;  // blocks between memory samples
  soak_block_stats stats;
  soak_timing timing;      // wall-clock time of each call: what the deadline sees on this machine
  soak_timing cpu_timing;  // CPU time of each call: the work, without preemption
  std::vector<int64_t> rss;  // one sample every `sample_every` blocks, and one at the end
  int64_t done = 0;
};

// Makes the delay lines and records beforehand as the program does, then runs the file device (writing
// to /dev/null) until `blocks` blocks were rendered. 0 when the audio layer could not run.
int soak_run_file_device(soak_run* run);
