// Standard MIDI Files (format 0 or 1, with their tempo maps) read into timed note and controller messages.
#pragma once
#include <cstdint>

#include "toolset/array.hpp"
#include "toolset/protocols/midi-parser.hpp"

// One note-on, note-off or control-change message at its time in seconds from the file's start.
struct midi_file_event {
  double seconds;
  unsigned char bytes[3];
  unsigned char reserved;
  int32_t reserved2;
};
static_assert(sizeof(midi_file_event) == 16);

using midi_file_event_array = typed_array<midi_file_event>;

constexpr int32_t MIDI_FILE_ERROR_BYTES = 256;
// Events later than this (a day) mark a broken tempo map or time base rather than music.
constexpr double MIDI_FILE_LONGEST_SECONDS = 86400.0;

// Appends the file's note and controller messages to `events`, in time order (simultaneous ones in
// track order, then file order). Other messages (meta events, system exclusive, program changes,
// bends) are left out; tempo changes from any track form the tempo map. Returns 0 and a sentence in
// `error` when the file cannot be read, is not a format 0 or 1 file timed in ticks per quarter note,
// or is malformed (a chunk or event cut short, a data byte where a status belongs, missing tracks).
int midi_file_read(const char* path, midi_file_event_array* events, char error[MIDI_FILE_ERROR_BYTES]);
int midi_file_read_memory(const void* bytes, int32_t count, midi_file_event_array* events,
                          char error[MIDI_FILE_ERROR_BYTES]);
// The event as a packet of its own, stamped with its time in nanoseconds.
void midi_file_packet(const midi_file_event* event, midi_packet* packet);
