// Periods of any size out of 256-frame engine blocks, passed through at 44100 Hz or resampled by zita-resampler.
#include "library/devices/audio-pump.hpp"

#include <zita-resampler/resampler.h>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "library/config.hpp"
#include "library/devices/audio-xruns.hpp"
#include "toolset/atomics.hpp"

namespace {

// The xrun line goes with the statistics line (a report just reset the frame's count), when it changed.
void private_tell_xruns(audio_pump* p) {
  int32_t xruns = audio_io_xrun_count();
  if (p->frame.report_count != 0 || xruns == p->xruns_told) return;
  perf_log("jack-xruns: %d\n", xruns);
  p->xruns_told = xruns;
}

// One block from the device's callback into `block`; false when the stream has ended.
bool private_next_block(audio_pump* p) {
  if (load_relaxed(p->ended)) return false;
  audio_device* d = p->device;
  d->callback(d->user, &p->frame);
  int ok = audio_device_advance(d, &p->frame);
  private_tell_xruns(p);
  if (!ok) {
    store_release(p->ended, 1);
    return false;
  }
  const audio_frame& f = p->frame;
  for (int32_t i = 0; i < AUDIO_BLOCK; ++i) {
    p->block[2 * i] = f.none ? 0.0f : f.left[i];
    p->block[2 * i + 1] = f.none ? 0.0f : f.right[i];
  }
  p->block_at = 0;
  return true;
}

// 44100 Hz: the blocks' frames as they are. Returns the frames written.
int32_t private_pass(audio_pump* p, float* left, float* right, int32_t frames) {
  int32_t done = 0;
  while (done < frames) {
    if (p->block_at == AUDIO_BLOCK && !private_next_block(p)) break;
    int32_t n = std::min(AUDIO_BLOCK - p->block_at, frames - done);
    const float* from = p->block + 2 * p->block_at;
    for (int32_t i = 0; i < n; ++i) {
      left[done + i] = from[2 * i];
      right[done + i] = from[2 * i + 1];
    }
    p->block_at += n;
    done += n;
  }
  return done;
}

// Another rate: the resampler takes what is left of the block and gives what is left of the period,
// whichever runs out first.
int32_t private_convert(audio_pump* p, float* left, float* right, int32_t frames) {
  Resampler* z = p->resampler;
  int32_t done = 0;
  while (done < frames) {
    if (p->block_at == AUDIO_BLOCK && !private_next_block(p)) break;
    z->inp_count = unsigned(AUDIO_BLOCK - p->block_at);
    z->inp_data = p->block + 2 * p->block_at;
    z->out_count = unsigned(frames - done);
    z->out_data = p->converted + 2 * done;
    z->process();
    p->block_at = AUDIO_BLOCK - int32_t(z->inp_count);
    done = frames - int32_t(z->out_count);
  }
  for (int32_t i = 0; i < done; ++i) {
    left[i] = p->converted[2 * i];
    right[i] = p->converted[2 * i + 1];
  }
  return done;
}

}  // namespace

int audio_pump_make(audio_pump* pump, audio_device* device, uint32_t rate) {
  *pump = audio_pump{};
  pump->device = device;
  pump->block_at = AUDIO_BLOCK;
  pump->xruns_told = audio_io_xrun_count();
  if (!audio_frame_make(&pump->frame)) return 0;
  if (rate == uint32_t(AUDIO_SAMPLE_RATE)) return 1;
  pump->resampler = new (std::nothrow) Resampler;
  pump->converted = static_cast<float*>(std::calloc(size_t(AUDIO_PERIOD_MAX) * AUDIO_CHANNELS, sizeof(float)));
  if (pump->resampler && pump->converted &&
      pump->resampler->setup(unsigned(AUDIO_SAMPLE_RATE), rate, unsigned(AUDIO_CHANNELS), AUDIO_RESAMPLER_TAPS) == 0) {
    return 1;
  }
  audio_pump_delete(pump);
  return 0;
}

void audio_pump_delete(audio_pump* pump) {
  delete pump->resampler;
  std::free(pump->converted);
  audio_frame_delete(&pump->frame);
  pump->resampler = nullptr;
  pump->converted = nullptr;
}

void audio_pump_run(audio_pump* pump, float* left, float* right, int32_t frames) {
  int32_t done = 0;
  if (frames <= AUDIO_PERIOD_MAX) {
    done = pump->resampler ? private_convert(pump, left, right, frames) : private_pass(pump, left, right, frames);
  }
  std::fill(left + done, left + frames, 0.0f);
  std::fill(right + done, right + frames, 0.0f);
}

int audio_pump_ended(const audio_pump* pump) { return load_acquire(pump->ended); }
