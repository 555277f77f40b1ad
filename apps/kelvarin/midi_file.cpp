// Reading Standard MIDI Files through libsmf, which merges the tracks and applies the tempo map.
#include "apps/kelvarin/midi_file.hpp"

#include "apps/kelvarin/midi_file_check.hpp"

#include <glib.h>
#include <smf.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// libsmf explains a failed load through GLib's log; the last line it gave becomes part of our message.
char last_log[MIDI_FILE_ERROR_BYTES];

void keep_log(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
  snprintf(last_log, sizeof last_log, "%s", message ? message : "");
}

smf_t* load_quietly(const void* bytes, int32_t count) {
  last_log[0] = 0;
  GLogFunc previous = g_log_set_default_handler(keep_log, nullptr);
  smf_t* smf = smf_load_from_memory(bytes, count);
  g_log_set_default_handler(previous, nullptr);
  return smf;
}

bool wanted(const smf_event_t* e) {
  if (e->midi_buffer_length != 3 || !e->midi_buffer) return false;
  int kind = e->midi_buffer[0] & 0xF0;
  return kind == 0x80 || kind == 0x90 || kind == 0xB0;
}

int collect(smf_t* smf, midi_file_event_array* events, char* error) {
  smf_rewind(smf);
  for (smf_event_t* e = smf_get_next_event(smf); e; e = smf_get_next_event(smf)) {
    if (!wanted(e)) continue;
    if (!(e->time_seconds >= 0 && e->time_seconds <= MIDI_FILE_LONGEST_SECONDS)) {
      snprintf(error, MIDI_FILE_ERROR_BYTES, "an event's time (%g s) is out of range", e->time_seconds);
      return 0;
    }
    midi_file_event event{e->time_seconds, {e->midi_buffer[0], e->midi_buffer[1], e->midi_buffer[2]}, 0, 0};
    if (!array_push(*events, event)) {
      snprintf(error, MIDI_FILE_ERROR_BYTES, "out of memory");
      return 0;
    }
  }
  return 1;
}

}  // namespace

int midi_file_read_memory(const void* bytes, int32_t count, midi_file_event_array* events,
                          char error[MIDI_FILE_ERROR_BYTES]) {
  error[0] = 0;
  if (!midi_file_check(static_cast<const unsigned char*>(bytes), count, error)) return 0;
  smf_t* smf = load_quietly(bytes, count);
  if (!smf) {
    snprintf(error, MIDI_FILE_ERROR_BYTES, "not a readable Standard MIDI File%s%s", last_log[0] ? ": " : "",
             last_log);
    return 0;
  }
  int ok = collect(smf, events, error);
  smf_delete(smf);
  return ok;
}

int midi_file_read(const char* path, midi_file_event_array* events, char error[MIDI_FILE_ERROR_BYTES]) {
  FILE* f = fopen(path, "rb");
  if (!f) {
    snprintf(error, MIDI_FILE_ERROR_BYTES, "cannot open the file: %s", strerror(errno));
    return 0;
  }
  byte_array contents{};
  char block[4096];
  size_t n;
  while ((n = fread(block, 1, sizeof block, f)) > 0) array_catb(&contents.raw, block, int32_t(n));
  fclose(f);
  int ok = 0;
  if (array_length(contents) < 0) {
    snprintf(error, MIDI_FILE_ERROR_BYTES, "the file is too large to read");
  } else {
    ok = midi_file_read_memory(array_data(contents), array_length(contents), events, error);
  }
  array_reset(contents);
  return ok;
}

void midi_file_packet(const midi_file_event* event, midi_packet* packet) {
  midi_packet_make(packet, uint64_t(event->seconds * 1e9), event->bytes, 3);
}
