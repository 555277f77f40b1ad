// The MIDI layer: named virtual input ports that other MIDI software sends to, one callback per packet.
#pragma once
#include <cstdint>

#include "toolset/array.hpp"
#include "toolset/protocols/midi-parser.hpp"

// Called on the MIDI layer's own thread (never the JACK or audio thread), once per received packet,
// one packet at a time. It may print and take time; it must not finish the layer.
using midi_callback = int (*)(void* user, const midi_packet* packet);

// How a backend hands a packet to the layer, on the layer's thread; `ref` is the device.
using midi_receive = void (*)(void* ref, const midi_packet* packet);

constexpr int32_t MIDI_NAME_BYTES = 64;
constexpr int32_t MIDI_PORTS = 16;  // ports one client publishes at most

struct midi_device {
  char name[MIDI_NAME_BYTES];  // ASCII; the port is published under it
  midi_callback callback;
  void* user;
  int32_t endpoint;  // the backend's port index once published, -1 before or on failure
};

enum midi_backend_kind : int32_t { MIDI_BACKEND_NONE = 0, MIDI_BACKEND_JACK = 1, MIDI_BACKEND_ALSA = 2 };

struct midi_jack;
struct midi_alsa;

// Device records are allocated one by one so that their addresses survive further defines.
struct midi_io {
  char client_name[MIDI_NAME_BYTES];
  int32_t backend;  // midi_backend_kind; NONE until the first define finds a MIDI system
  int32_t committed;
  midi_jack* jack;
  midi_alsa* alsa;
  typed_array<midi_device*> devices;
};

void midi_io_make(midi_io** io);
// Creates the client on first use, JACK when a server is already running (never starting one), else
// the ALSA sequencer; the device is null when neither answers (the program runs without MIDI).
void midi_io_define_device(midi_io* io, midi_device** device);
void midi_device_set_name(midi_device* device, const char* name);
void midi_device_in(midi_device* device, midi_callback callback, void* user);
// Publishes a port for every device with a callback and starts delivery. A port that cannot be
// published leaves its device silent.
void midi_io_commit(midi_io* io);
// Stops delivery and joins the layer's thread, withdraws every port and the client, frees the state
// and sets the handle to null.
void midi_io_finish(midi_io** io);
// The name under which the client is seen by others ("" without a client); JACK may add a suffix
// when another "vorn" is already there.
const char* midi_io_client_name(const midi_io* io);
