// Plays a MIDI file into the instrument offline: each event reaches midifn before the block it falls in.
#pragma once
#include <cstdint>

#include "apps/kelvarin/midi_file.hpp"
#include "apps/kelvarin/synth.hpp"

// MIDI time 0 is the first block the audio callback renders (3000 ms of audio time: block 517), so a
// file sounds from the start of the music; the silent lead-in before it plays nothing.
constexpr int64_t MIDI_FILE_FIRST_BLOCK = (3000LL * int64_t(SAMPLE_RATE) + 256 * 1000 - 1) / (256 * 1000);
static_assert(MIDI_FILE_FIRST_BLOCK == 517);
constexpr double MIDI_FILE_TAIL_SECONDS = 2.0;  // the render goes on this long after the last event

struct midi_file_player {
  midi_file_event_array events;
  int32_t next;  // first event not yet delivered
};

// Reads the file; on failure prints "kelvarin-render: FILE: reason" to standard error and returns 0.
int midi_file_player_load(midi_file_player* player, const char* path);
// Delivers, as one packet each and in order, every event whose block is `block` or earlier.
void midi_file_player_before_block(midi_file_player* player, int64_t block);
// Blocks of a render that ends MIDI_FILE_TAIL_SECONDS after the file's last event.
int64_t midi_file_player_blocks(const midi_file_player* player);
void midi_file_player_delete(midi_file_player* player);
