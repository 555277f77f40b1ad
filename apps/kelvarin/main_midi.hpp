// The instrument's MIDI wiring at start-up and shut-down: one input port "kelvarin" played by midifn.
#pragma once
#include "library/devices/midi.hpp"

// Makes the MIDI layer and defines the one device, named and given midifn. Without a MIDI system the
// layer holds no device and the program runs without MIDI, silently.
midi_io* kelvarin_midi_define();
// Publishes the port: MIDI callbacks arrive from here on. Call after the audio has started.
void kelvarin_midi_commit(midi_io* io);
// Withdraws the port and the client; the handle becomes null.
void kelvarin_midi_finish(midi_io** io);
