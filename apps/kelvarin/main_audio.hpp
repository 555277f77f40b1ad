// The instrument's audio wiring at start-up and shut-down: the first real-time output plays audiofn.
#pragma once
#include "library/devices/audio-portaudio.hpp"

// Makes the audio layer, walks its device list printing "device N" for every device examined (N runs on
// across calls), attaches `callback` to the first real-time output and commits it, which starts the
// stream; an output that cannot start says so in one line and the next one is tried. Without such an output it prints "Could not find adequate device." and commits none: the
// program goes on silent. Returns the layer (null only when memory ran out).
audio_io* kelvarin_audio_open(audio_callback callback, void* user);
// The same with the instrument's own callback, whose every block also goes to the recorder. The
// synthesizer records and delay lines must be made first.
audio_io* kelvarin_audio_start();
// Waits for the stream to end (it ends only if the callback ends it), then frees; the handle becomes null.
void kelvarin_audio_finish(audio_io** io);
// The instrument's sound at start-up, in its order: both synthesizer records and the delay lines, the MIDI
// device defined, the audio stream started, then the MIDI port published, so that the first MIDI event
// finds the audio running. The display comes after this.
void kelvarin_sound_start();
