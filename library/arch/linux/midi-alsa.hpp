// ALSA sequencer backend of the MIDI layer: one client, writable ports, a thread that delivers packets.
#pragma once
#include <alsa/asoundlib.h>

#include <cstdint>

#include "library/devices/midi.hpp"

struct midi_alsa;

// Opens the sequencer as client `client_name`; null without a sequencer device, silently.
midi_alsa* midi_alsa_open(const char* client_name);
const char* midi_alsa_client_name(const midi_alsa* alsa);
// Creates a writable, subscribable port before the start; returns its index, or -1.
int32_t midi_alsa_publish(midi_alsa* alsa, const char* port_name, midi_receive receive, void* ref);
// Starts the delivering thread; 0 on failure.
int midi_alsa_start(midi_alsa* alsa);
// Stops and joins the thread, deletes the ports, closes the client and frees the state.
void midi_alsa_close(midi_alsa* alsa);

// Turns one sequencer event back into MIDI bytes, each message with its own status byte (the packet
// decoder takes no running status). Returns the byte count; 0 for events that carry no MIDI message
// (subscriptions, client notices) or do not fit a packet.
int32_t midi_alsa_event_packet(snd_midi_event_t* coder, const snd_seq_event_t* event, uint64_t time_ns,
                               midi_packet* packet);
// A coder set up as midi_alsa_event_packet expects it; null on failure.
snd_midi_event_t* midi_alsa_coder_make();
