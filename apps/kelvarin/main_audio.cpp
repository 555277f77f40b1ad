// The instrument's audio wiring: choosing the output, attaching the callback, starting and finishing.
#include "apps/kelvarin/main_audio.hpp"

#include <cstdio>

#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/main_midi.hpp"
#include "apps/kelvarin/recorder.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"

namespace {
int32_t device_number = 0;  // running number of every audio device examined

// The instrument's block, then the recorder's copy of exactly what goes out (audiofn always commits a
// full stereo block).
void private_play_and_record(void* user, audio_frame* frame) {
  audiofn(user, frame);
  recorder_accept(frame->left, frame->right, AUDIO_BLOCK);
}
}  // namespace

audio_io* kelvarin_audio_open(audio_callback callback, void* user) {
  audio_io* io = nullptr;
  if (!audio_io_make(&io)) return nullptr;
  audio_device** list = nullptr;
  audio_io_define(io, &list);
  audio_device* chosen = nullptr;
  // The first real-time device that starts plays; one that says why it cannot leaves the next one to try.
  for (audio_device** d = list; d && *d && !chosen; ++d) {
    std::printf("device %d\n", device_number++);
    std::fflush(stdout);
    if (!audio_device_is_realtime(*d)) continue;
    audio_device_attach(*d, callback, user);
    if (audio_io_commit(io, *d)) chosen = *d;
  }
  if (!chosen) {
    std::puts("Could not find adequate device.");
    std::fflush(stdout);
    audio_io_commit(io, nullptr);
  }
  // From now on the instrument's callback plays the records on its own thread: presets cross over to
  // it by hand-over (a stream that stalls or stops is noticed at the next load).
  if (chosen && (callback == audiofn || callback == private_play_and_record)) synth_handoff_enable(1);
  return io;
}

audio_io* kelvarin_audio_start() { return kelvarin_audio_open(private_play_and_record, nullptr); }

void kelvarin_audio_finish(audio_io** io) {
  audio_io_finish(io);
  synth_handoff_enable(0);
}

void kelvarin_sound_start() {
  oscs_make();
  delay_lines_make();
  midi_io* midi = kelvarin_midi_define();
  kelvarin_audio_start();
  kelvarin_midi_commit(midi);
}
