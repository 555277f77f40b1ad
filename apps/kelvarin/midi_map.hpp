// MIDI onto the front synthesizer record: channels 0..7 are voices; notes set pitch, controllers set voice,
// oscillator and matrix-cell fields.
#pragma once
#include <cstdint>

#include "toolset/protocols/midi-parser.hpp"

// The MIDI callback: decodes the packet, prints every event and applies it to synth(). Runs on the
// MIDI layer's thread; every write is one 32-bit field (relaxed), so the audio thread sees the old or
// the new value. Returns the number of events handled.
int midifn(void* user, const midi_packet* packet);

// Controller value scalings: 0 -> 0, 127 -> 1; and 0 -> -1, 64 -> 0, 127 -> +1.
inline float midi_unipolar(int32_t v) { return float(double(v) * (1.0 / 127.0)); }
inline float midi_bipolar(int32_t v) { return float(v <= 64 ? (v - 64) / 64.0 : (v - 64) / 63.0); }
