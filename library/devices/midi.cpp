// The MIDI layer over its Linux backends: JACK when a server runs, else the ALSA sequencer, else none.
#include "library/devices/midi.hpp"

#include <cstdio>
#include <cstdlib>

#include "library/arch/linux/midi-alsa.hpp"
#include "library/arch/linux/midi-jack.hpp"
#include "library/arch/linux/quiet-probes.hpp"

namespace {

void copy_name(char* destination, const char* name) { snprintf(destination, MIDI_NAME_BYTES, "%s", name ? name : ""); }

// The receive procedure: the backend hands over packets one by one, with the device as reference.
void receive(void* ref, const midi_packet* packet) {
  midi_device* device = static_cast<midi_device*>(ref);
  device->callback(device->user, packet);
}

void open_client(midi_io* io) {
  io->jack = midi_jack_open(io->client_name);
  if (io->jack) {
    io->backend = MIDI_BACKEND_JACK;
    return;
  }
  io->alsa = midi_alsa_open(io->client_name);
  if (io->alsa) io->backend = MIDI_BACKEND_ALSA;
}

int32_t publish(midi_io* io, midi_device* device) {
  if (io->backend == MIDI_BACKEND_JACK) return midi_jack_publish(io->jack, device->name, receive, device);
  return midi_alsa_publish(io->alsa, device->name, receive, device);
}

}  // namespace

void midi_io_make(midi_io** io) {
  linux_audio_quiet();  // before the first probe of JACK and the ALSA sequencer
  midi_io* state = static_cast<midi_io*>(calloc(1, sizeof(midi_io)));
  if (state) copy_name(state->client_name, "vorn");
  *io = state;
}

void midi_io_define_device(midi_io* io, midi_device** device) {
  *device = nullptr;
  if (!io || io->committed) return;
  if (io->backend == MIDI_BACKEND_NONE) open_client(io);
  if (io->backend == MIDI_BACKEND_NONE) return;
  midi_device* d = static_cast<midi_device*>(calloc(1, sizeof(midi_device)));
  if (!d) return;
  d->endpoint = -1;
  if (!array_push(io->devices, d)) {
    free(d);
    return;
  }
  *device = d;
}

void midi_device_set_name(midi_device* device, const char* name) {
  if (device) copy_name(device->name, name);
}

void midi_device_in(midi_device* device, midi_callback callback, void* user) {
  if (!device) return;
  device->callback = callback;
  device->user = user;
}

void midi_io_commit(midi_io* io) {
  if (!io || io->committed || io->backend == MIDI_BACKEND_NONE) return;
  io->committed = 1;
  for (int32_t i = 0; i < array_length(io->devices); ++i) {
    midi_device* device = *array_get(io->devices, i);
    if (!device->callback) continue;
    device->endpoint = publish(io, device);
    if (device->endpoint < 0) device->callback = nullptr;  // stays silent
  }
  if (io->backend == MIDI_BACKEND_JACK) midi_jack_start(io->jack);
  if (io->backend == MIDI_BACKEND_ALSA) midi_alsa_start(io->alsa);
}

// The backend goes first: its thread is joined before the devices it calls into are freed.
void midi_io_finish(midi_io** io) {
  if (!io || !*io) return;
  midi_io* state = *io;
  midi_jack_close(state->jack);
  midi_alsa_close(state->alsa);
  for (int32_t i = 0; i < array_length(state->devices); ++i) free(*array_get(state->devices, i));
  array_reset(state->devices);
  free(state);
  *io = nullptr;
}

const char* midi_io_client_name(const midi_io* io) {
  if (io && io->backend == MIDI_BACKEND_JACK) return midi_jack_client_name(io->jack);
  if (io && io->backend == MIDI_BACKEND_ALSA) return midi_alsa_client_name(io->alsa);
  return "";
}
