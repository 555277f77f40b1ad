// A seeded random stream of what a performance throws at the engine: MIDI packets, slot loads (shipped and
// damaged files) and single-field panel edits, each applied through the instrument's own entry points.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "toolset/algos/mt-prng.hpp"
#include "toolset/protocols/midi-parser.hpp"

// Ways a slot file is damaged before it is loaded; SLOT_SHIPPED loads it as it is.
enum soak_slot_kind : int32_t {
  SLOT_SHIPPED = 0,
  SLOT_TRUNCATED,     // cut at a random length
  SLOT_BIT_FLIPS,     // 1..64 random bits flipped anywhere
  SLOT_NON_FINITE,    // NaN, infinities, subnormals and 1e38 written over random words of the record
  SLOT_HUGE_DELAY,    // delay times, feedbacks, cutoffs and resonances far outside any knob's range
  SLOT_ZERO_DIVISOR,  // oscillator and cell divisors of 0 (and notes out of any scale)
  SLOT_RANDOM_BYTES,  // noise, sometimes behind a valid "RIFF" header
  SLOT_BAD_LENGTHS,   // chunk lengths off by one, huge or zero
  SLOT_KINDS
};

struct soak_counts {
  int64_t packets = 0;
  int64_t events = 0;  // as midifn counted them
  int64_t edits = 0;
  int64_t loads[SLOT_KINDS] = {};
  int64_t loaded = 0, incomplete = 0, refused = 0;  // the loader's three answers
};

struct soak_stream {
  mt_prng g;
  std::vector<std::string> slots;  // the shipped slot files' bytes
  soak_counts counts;
  // Chances per 5.8 ms block of one more packet or edit, and of a load: about 74 MIDI packets and 43
  // panel edits a second, and a slot load every 2 s.
  float packet_chance = 0.3f;
  float edit_chance = 0.2f;
  float load_chance = 1.0f / 344.0f;
};

void soak_stream_make(soak_stream* s, uint32_t seed);
// Reads save-0.dat .. save-7.dat from `folder`; returns how many were found (each must be 4756 bytes).
int soak_stream_add_slots(soak_stream* s, const std::string& folder);

float soak_uniform(soak_stream* s);  // [0, 1)
int32_t soak_below(soak_stream* s, int32_t n);

// A packet of 1..4 events: notes on and off, every mapped controller with random values on channels
// 0..15 (mostly 0..7), and now and then junk (stray data bytes, system messages, cut messages).
void soak_midi_packet(soak_stream* s, midi_packet* p);
// A slot file damaged the given way (SLOT_SHIPPED: a shipped file as it is).
std::string soak_slot_bytes(soak_stream* s, soak_slot_kind kind);
// One field of the front record (or the master gain) set as a panel control sets it, within its range.
void soak_panel_edit(soak_stream* s);
// Loads bytes through the real loader over an array stream; counts and returns the loader's message.
const char* soak_load(soak_stream* s, const std::string& bytes);

// What happens between two audio blocks: packets through midifn, edits, now and then a slot load
// (half of them shipped files, half damaged ones).
void soak_stream_before_block(soak_stream* s);
