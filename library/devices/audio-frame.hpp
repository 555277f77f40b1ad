// The audio frame: one block of 256 stereo float samples handed to the audio callback, with its define
// and commit time stamps and the once-a-second audio statistics line.
#pragma once
#include <cstdint>

constexpr int32_t AUDIO_BLOCK = 256;
constexpr double AUDIO_BLOCK_MS = 5.804988662131519;  // 256 / 44100 s

// Contract for callbacks (they run on the audio thread): define the frame, write every sample of both
// buffers (they are handed out again uncleared), and commit it; or commit none instead of defining.
// Nothing on this path may allocate, lock, wait or do I/O beyond the statistics line.
struct audio_frame {
  uint32_t flags;  // bit 0: defined, not yet committed; bit 1: mono (left copied to right at commit)
  int32_t none;    // 1: the frame carries no data
  float* left;
  float* right;
  int32_t frame_counter;  // frames advanced since the frame was made
  double define_time;
  double commit_time;
  double report_time;
  double busy_sum;
  int32_t report_count;
};

int audio_frame_make(audio_frame* frame);  // allocates both buffers; 0 when memory runs out
void audio_frame_delete(audio_frame* frame);
void audio_frame_define_stereo(audio_frame* frame, float** left, float** right);
void audio_frame_define_mono(audio_frame* frame, float** buffer);
void audio_frame_commit(audio_frame* frame);
void audio_frame_commit_none(audio_frame* frame);
double audio_frame_in_ms(const audio_frame* frame);  // 0 during the first callback
// The cpu-load of the last audio statistics line (mean busy time over the block period; 0 before the
// first line). Any thread.
float audio_frame_reported_load();
