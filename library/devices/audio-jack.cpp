// The JACK output: the audio pump inside the shared client's process callback, two ports, their wiring.
#include "library/devices/audio-jack.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library/arch/linux/jack-client.hpp"
#include "library/devices/audio-xruns.hpp"
#include "toolset/atomics.hpp"

namespace {

constexpr const char* PORT_NAMES[AUDIO_CHANNELS] = {"out_1", "out_2"};

// JACK's real-time thread, every period: the pump fills both port buffers.
void private_process(void* arg, jack_nframes_t frames) {
  auto* d = static_cast<audio_jack_device*>(arg);
  auto* left = static_cast<float*>(jack_port_get_buffer(d->ports[0], frames));
  auto* right = static_cast<float*>(jack_port_get_buffer(d->ports[1], frames));
  audio_pump_run(&d->pump, left, right, int32_t(frames));
}

// Runs like a signal handler: one write(2), nothing from stdio.
void private_shutdown(void* arg) {
  store_release(static_cast<audio_jack_device*>(arg)->gone, 1);
  static const char line[] = "JACK server went away: the program goes on without audio.\n";
  ssize_t written = write(STDOUT_FILENO, line, sizeof line - 1);
  (void)written;
}

void private_xrun(void*) { audio_io_note_xrun(); }

int private_refuse(audio_jack_device* d, const char* format, ...) {
  std::printf("JACK output skipped: ");
  va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
  std::printf("\n");
  std::fflush(stdout);
  audio_jack_stop(d);
  return 0;
}

int private_register(audio_jack_device* d) {
  for (int32_t c = 0; c < AUDIO_CHANNELS; ++c) {
    d->ports[c] = jack_port_register(d->client, PORT_NAMES[c], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (!d->ports[c]) return 0;
  }
  return 1;
}

// Left and right to the first two physical playback ports; one such port takes left only.
int private_connect(audio_jack_device* d) {
  const char** playback = jack_get_ports(d->client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
  int connected = 0, failed = 0;
  for (int32_t c = 0; playback && c < AUDIO_CHANNELS && playback[c]; ++c) {
    int r = jack_connect(d->client, jack_port_name(d->ports[c]), playback[c]);
    (r == 0 || r == EEXIST ? connected : failed)++;
  }
  jack_free(playback);
  return connected > 0 && !failed;
}

}  // namespace

audio_jack_device* audio_jack_device_make() {
  jack_client_t* client = jack_shared_acquire(JACK_ROLE_AUDIO, "vorn");
  if (!client) return nullptr;
  auto* d = static_cast<audio_jack_device*>(std::calloc(1, sizeof(audio_jack_device)));
  if (!d) {
    jack_shared_release(JACK_ROLE_AUDIO);
    return nullptr;
  }
  d->head.kind = AUDIO_DEVICE_JACK;
  d->client = client;
  return d;
}

int audio_jack_commit(audio_jack_device* d) {
  jack_nframes_t period = jack_get_buffer_size(d->client);
  jack_nframes_t rate = jack_get_sample_rate(d->client);
  if (period > jack_nframes_t(AUDIO_PERIOD_MAX)) {
    return private_refuse(d, "its period of %u frames is over %d.", unsigned(period), AUDIO_PERIOD_MAX);
  }
  if (!audio_pump_make(&d->pump, &d->head, rate)) {
    return private_refuse(d, "cannot convert 44100 Hz to the server's %u Hz.", unsigned(rate));
  }
  d->pump_made = 1;
  if (!private_register(d)) return private_refuse(d, "ports \"out_1\" and \"out_2\" could not be registered.");
  jack_role_handlers handlers{private_process, private_shutdown, private_xrun, d};
  if (!jack_shared_start(JACK_ROLE_AUDIO, &handlers)) return private_refuse(d, "the client could not be activated.");
  if (!private_connect(d)) return private_refuse(d, "the outputs could not be connected to the playback ports.");
  return 1;
}

int audio_jack_playing(const audio_jack_device* d) {
  return d->pump_made && !load_acquire(d->gone) && !audio_pump_ended(&d->pump);
}

// The callbacks stop before the ports and the pump they use go away.
void audio_jack_stop(audio_jack_device* d) {
  jack_shared_stop(JACK_ROLE_AUDIO);
  for (jack_port_t*& port : d->ports) {
    if (port && !jack_shared_gone()) jack_port_unregister(d->client, port);
    port = nullptr;
  }
  if (d->pump_made) audio_pump_delete(&d->pump);
  d->pump_made = 0;
}

void audio_jack_device_delete(audio_jack_device* d) {
  audio_jack_stop(d);
  jack_shared_release(JACK_ROLE_AUDIO);
  std::free(d);
}
