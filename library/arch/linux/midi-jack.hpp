// JACK MIDI backend of the MIDI layer: input ports on the shared client, a thread that delivers packets.
#pragma once
#include <cstdint>

#include "library/devices/midi.hpp"

// JACK's process callback runs in JACK's real-time thread: it only copies each event (time, port and
// bytes) into a lock-free ring buffer and wakes the layer's thread, which builds the packets and calls
// the receive procedures. One MIDI message becomes one packet, so a message the decoder does not take
// (pitch bend, system exclusive) never hides a note that follows it.
struct midi_jack;

// Takes the program's shared JACK client (a running server only, never starting one); null without one.
midi_jack* midi_jack_open(const char* client_name);
const char* midi_jack_client_name(const midi_jack* jack);
// Registers a MIDI input port before the start; returns its index, or -1.
int32_t midi_jack_publish(midi_jack* jack, const char* port_name, midi_receive receive, void* ref);
// Starts the delivering thread and the port's callback (activating the client if needed); 0 on failure.
int midi_jack_start(midi_jack* jack);
// Stops the callback, joins the thread, unregisters the ports, lets go of the client, frees the state.
void midi_jack_close(midi_jack* jack);
// Events dropped because the ring buffer was full (the layer's thread fell behind by ~2000 messages).
int32_t midi_jack_dropped(const midi_jack* jack);
