// The JACK output of the audio layer: ports "out_1" and "out_2" on the program's shared JACK client.
#pragma once
#include <jack/jack.h>

#include "library/devices/audio-pump.hpp"

struct audio_jack_device {
  audio_device head;
  jack_client_t* client;  // the shared client, held from make to delete
  jack_port_t* ports[AUDIO_CHANNELS];
  audio_pump pump;
  int32_t pump_made;
  int32_t gone;  // the server shut the client down (set on JACK's thread)
};

// Null without a running server (never starting one).
audio_jack_device* audio_jack_device_make();
// Registers the outputs, runs the callback inside JACK's process callback and connects the outputs to
// the first two physical playback ports. A period over AUDIO_PERIOD_MAX, a rate the resampler cannot
// convert to, ports that cannot be registered or connected: one line, everything undone, 0.
int audio_jack_commit(audio_jack_device* device);
// Until the callback ends the stream or the server goes away.
int audio_jack_playing(const audio_jack_device* device);
// Stops the outputs and frees what commit made; the device can be deleted afterwards.
void audio_jack_stop(audio_jack_device* device);
void audio_jack_device_delete(audio_jack_device* device);
