// Engine blocks of 256 frames at 44100 Hz, cut into periods of any size and converted to the server's rate.
#pragma once
#include <cstdint>

#include "library/devices/audio-portaudio.hpp"

constexpr int32_t AUDIO_PERIOD_MAX = 4096;  // frames; larger periods are not served
constexpr uint32_t AUDIO_RESAMPLER_TAPS = 32;  // half filter length: images and aliases far below -80 dB

class Resampler;

// The pump calls the device's callback from inside the server's own period, as many blocks as the
// period needs; what the last block has left over waits for the next period, so the added latency is
// under one block (plus the resampler's filter at other rates). Everything is allocated at make.
struct audio_pump {
  audio_device* device;
  audio_frame frame;
  float block[AUDIO_BLOCK * AUDIO_CHANNELS];  // the current block, interleaved
  int32_t block_at;      // frames of `block` handed out already; AUDIO_BLOCK when it is used up
  Resampler* resampler;  // null at 44100 Hz
  float* converted;      // AUDIO_PERIOD_MAX interleaved frames out of the resampler
  int32_t ended;         // the callback ended the stream: silence from then on (read by other threads)
  int32_t xruns_told;    // the xrun count last written to the performance log
};

// 0 when memory runs out or the resampler cannot convert 44100 Hz to `rate`; nothing is left allocated.
int audio_pump_make(audio_pump* pump, audio_device* device, uint32_t rate);
void audio_pump_delete(audio_pump* pump);
// Audio thread: fills `frames` samples of each channel (silence beyond AUDIO_PERIOD_MAX or once the
// stream has ended). Allocates nothing, locks nothing; the statistics lines come from the frame commit.
void audio_pump_run(audio_pump* pump, float* left, float* right, int32_t frames);
int audio_pump_ended(const audio_pump* pump);
