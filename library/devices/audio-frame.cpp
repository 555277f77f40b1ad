// Audio frames: buffers, time stamps and the audio statistics written to the performance log.
#include "library/devices/audio-frame.hpp"

#include <atomic>
#include <cstdlib>

#include "library/arch/posix/time.hpp"
#include "library/config.hpp"

namespace {

alignas(4) float reported_load = 0.0f;  // written by the audio thread, read by the panel

// Counts the frame and, at most once a second, logs the nominal rate and the mean busy share of a block.
void private_audio_frame_statistics(audio_frame* frame) {
  frame->report_count++;
  frame->busy_sum += frame->none ? 0.0 : frame->commit_time - frame->define_time;
  double now = get_milliseconds();
  if (now - frame->report_time <= 1000.0) return;
  double load = frame->busy_sum / double(frame->report_count) * 0.172265625;
  std::atomic_ref<float>(reported_load).store(float(load), std::memory_order_relaxed);
  perf_log("audio-fps: %.2f, cpu-load: %.5f\n", 172.265625, load);
  frame->report_time = now;
  frame->busy_sum = 0.0;
  frame->report_count = 0;
}

}  // namespace

int audio_frame_make(audio_frame* frame) {
  *frame = audio_frame{};
  frame->left = static_cast<float*>(std::calloc(AUDIO_BLOCK, sizeof(float)));
  frame->right = static_cast<float*>(std::calloc(AUDIO_BLOCK, sizeof(float)));
  frame->none = 1;
  frame->report_time = get_milliseconds();
  if (frame->left && frame->right) return 1;
  audio_frame_delete(frame);
  return 0;
}

void audio_frame_delete(audio_frame* frame) {
  std::free(frame->left);
  std::free(frame->right);
  frame->left = frame->right = nullptr;
}

void audio_frame_define_stereo(audio_frame* frame, float** left, float** right) {
  frame->none = 1;
  frame->flags = 1;
  *left = frame->left;
  *right = frame->right;
  frame->define_time = get_milliseconds();
}

void audio_frame_define_mono(audio_frame* frame, float** buffer) {
  frame->none = 1;
  frame->flags = 3;
  *buffer = frame->left;
  frame->define_time = get_milliseconds();
}

void audio_frame_commit(audio_frame* frame) {
  frame->commit_time = get_milliseconds();
  if (frame->flags & 2u) {
    for (int32_t i = 0; i < AUDIO_BLOCK; ++i) frame->right[i] = frame->left[i];
  }
  frame->flags &= ~1u;
  frame->none = 0;
  private_audio_frame_statistics(frame);
}

void audio_frame_commit_none(audio_frame* frame) {
  frame->none = 1;
  frame->define_time = frame->commit_time = get_milliseconds();
  private_audio_frame_statistics(frame);
}

float audio_frame_reported_load() { return std::atomic_ref<float>(reported_load).load(std::memory_order_relaxed); }

double audio_frame_in_ms(const audio_frame* frame) { return double(frame->frame_counter) * AUDIO_BLOCK_MS; }
