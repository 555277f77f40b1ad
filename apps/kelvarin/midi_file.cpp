// Reading Standard MIDI Files: chunks, track events with running status, and the tempo map.
#include "apps/kelvarin/midi_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t DEFAULT_TEMPO = 500000;  // microseconds per quarter note (120 bpm)

// A wanted message or a tempo change at its tick; `order` keeps file order among equal ticks.
struct timed {
  int64_t tick;
  int32_t order;
  uint32_t tempo;  // for tempo changes
  unsigned char bytes[3];
  unsigned char reserved;
  int32_t reserved2;
};
static_assert(sizeof(timed) == 24);

struct reading {
  typed_array<timed> messages;
  typed_array<timed> tempos;
  int32_t order;
  int32_t failed_memory;
  char* error;
};

struct cursor {
  const unsigned char* bytes;
  int32_t end;
  int32_t at;
};

bool read_byte(cursor* c, int32_t* out) {
  if (c->at >= c->end) return false;
  *out = c->bytes[c->at++];
  return true;
}

// Variable-length quantity: at most four bytes of seven bits.
bool read_vlq(cursor* c, int32_t* out) {
  int32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    int32_t b;
    if (!read_byte(c, &b)) return false;
    value = (value << 7) | (b & 0x7F);
    if (!(b & 0x80)) {
      *out = value;
      return true;
    }
  }
  return false;
}

bool skip(cursor* c, int32_t n) {
  if (n < 0 || n > c->end - c->at) return false;
  c->at += n;
  return true;
}

uint32_t big_endian(const unsigned char* b, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | b[i];
  return v;
}

void keep(reading* r, typed_array<timed>& list, timed t) {
  t.order = r->order++;
  if (!array_push(list, t)) r->failed_memory = 1;
}

// A channel message after its status: one or two data bytes, each below 0x80.
bool channel_message(cursor* c, reading* r, int64_t tick, int32_t status) {
  int32_t kind = status & 0xF0;
  int32_t count = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
  int32_t data[2] = {0, 0};
  for (int32_t i = 0; i < count; ++i) {
    if (!read_byte(c, &data[i]) || data[i] >= 0x80) return false;
  }
  if (kind == 0x80 || kind == 0x90 || kind == 0xB0)
    keep(r, r->messages, timed{tick, 0, 0, {uint8_t(status), uint8_t(data[0]), uint8_t(data[1])}, 0, 0});
  return true;
}

// Meta event after 0xFF: only tempo changes (three bytes, not zero) are kept.
bool meta_event(cursor* c, reading* r, int64_t tick, bool* end_of_track) {
  int32_t type, length;
  if (!read_byte(c, &type) || !read_vlq(c, &length)) return false;
  const unsigned char* data = c->bytes + c->at;
  if (!skip(c, length)) return false;
  uint32_t tempo = length == 3 ? big_endian(data, 3) : 0;
  if (type == 0x51 && tempo > 0) keep(r, r->tempos, timed{tick, 0, tempo, {0, 0, 0}, 0, 0});
  *end_of_track = type == 0x2F;
  return true;
}

// One event after its delta time; `running` is the status that a leading data byte continues.
bool track_event(cursor* c, reading* r, int64_t tick, int32_t* running, bool* end_of_track) {
  int32_t status, length;
  if (!read_byte(c, &status)) return false;
  if (status < 0x80) {
    if (!*running) return false;
    c->at--;
    return channel_message(c, r, tick, *running);
  }
  if (status < 0xF0) {
    *running = status;
    return channel_message(c, r, tick, status);
  }
  if (status == 0xF0 || status == 0xF7) return read_vlq(c, &length) && skip(c, length);
  return status == 0xFF && meta_event(c, r, tick, end_of_track);
}

// A track ends at its End Of Track event or, in files that leave it out, at the chunk's end.
bool read_track(const unsigned char* bytes, int32_t length, int32_t track, reading* r) {
  cursor c{bytes, length, 0};
  int32_t running = 0;
  int64_t tick = 0;
  bool end_of_track = false;
  while (!end_of_track && c.at < c.end) {
    int32_t delta;
    int32_t start = c.at;
    if (!read_vlq(&c, &delta) || !track_event(&c, r, tick + delta, &running, &end_of_track)) {
      snprintf(r->error, MIDI_FILE_ERROR_BYTES, "track %d has a malformed or cut-short event at byte %d", track,
               start);
      return false;
    }
    tick += delta;
  }
  return true;
}

bool read_header(const unsigned char* bytes, int32_t count, int32_t* tracks, int32_t* division, char* error) {
  if (count < 14 || std::memcmp(bytes, "MThd", 4) != 0 || big_endian(bytes + 4, 4) < 6) {
    snprintf(error, MIDI_FILE_ERROR_BYTES, "not a Standard MIDI File (no MThd header)");
    return false;
  }
  uint32_t format = big_endian(bytes + 8, 2);
  *tracks = int32_t(big_endian(bytes + 10, 2));
  *division = int32_t(big_endian(bytes + 12, 2));
  if (format > 1) {
    snprintf(error, MIDI_FILE_ERROR_BYTES, "MIDI file format %u is not supported (only 0 and 1)", format);
    return false;
  }
  if (*division == 0 || (*division & 0x8000)) {
    snprintf(error, MIDI_FILE_ERROR_BYTES, "the time division 0x%04x is not supported (ticks per quarter note only)",
             unsigned(*division));
    return false;
  }
  return true;
}

bool read_chunks(const unsigned char* bytes, int32_t count, int32_t tracks, reading* r) {
  int64_t at = 8 + int64_t(big_endian(bytes + 4, 4));
  int32_t found = 0;
  while (at + 8 <= count && found < tracks) {
    int64_t length = big_endian(bytes + at + 4, 4);
    if (at + 8 + length > count) {
      snprintf(r->error, MIDI_FILE_ERROR_BYTES, "a chunk at byte %lld runs past the end of the file", (long long)at);
      return false;
    }
    if (std::memcmp(bytes + at, "MTrk", 4) == 0) {
      if (!read_track(bytes + at + 8, int32_t(length), found, r)) return false;
      found++;
    }
    at += 8 + length;
  }
  if (found < tracks || found == 0) {
    snprintf(r->error, MIDI_FILE_ERROR_BYTES, "the file holds %d of its %d tracks", found, tracks);
    return false;
  }
  return true;
}

void sort_by_tick(typed_array<timed>& list) {
  timed* data = array_data(list);
  std::sort(data, data + array_length(list),
            [](const timed& a, const timed& b) { return a.tick != b.tick ? a.tick < b.tick : a.order < b.order; });
}

// Walks messages and tempo changes together, both sorted by tick; a tempo change at a message's tick
// applies to it.
bool to_seconds(reading* r, int32_t division, midi_file_event_array* events) {
  const timed* tempos = array_data(r->tempos);
  int32_t tempo_count = array_length(r->tempos), next = 0;
  double seconds = 0.0, per_tick = DEFAULT_TEMPO * 1e-6 / division;
  int64_t tick = 0;
  for (int32_t i = 0; i < array_length(r->messages); ++i) {
    const timed& m = *array_get(r->messages, i);
    for (; next < tempo_count && tempos[next].tick <= m.tick; ++next) {
      seconds += double(tempos[next].tick - tick) * per_tick;
      tick = tempos[next].tick;
      per_tick = tempos[next].tempo * 1e-6 / division;
    }
    double at = seconds + double(m.tick - tick) * per_tick;
    if (at > MIDI_FILE_LONGEST_SECONDS) {
      snprintf(r->error, MIDI_FILE_ERROR_BYTES, "an event lies %.0f s into the file, past a day", at);
      return false;
    }
    if (!array_push(*events, midi_file_event{at, {m.bytes[0], m.bytes[1], m.bytes[2]}, 0, 0})) {
      snprintf(r->error, MIDI_FILE_ERROR_BYTES, "out of memory");
      return false;
    }
  }
  return true;
}

}  // namespace

int midi_file_read_memory(const void* bytes, int32_t count, midi_file_event_array* events,
                          char error[MIDI_FILE_ERROR_BYTES]) {
  error[0] = 0;
  const unsigned char* b = static_cast<const unsigned char*>(bytes);
  int32_t tracks = 0, division = 0;
  if (!b || !read_header(b, count, &tracks, &division, error)) return 0;
  reading r{{}, {}, 0, 0, error};
  bool ok = read_chunks(b, count, tracks, &r);
  if (ok && r.failed_memory) {
    snprintf(error, MIDI_FILE_ERROR_BYTES, "out of memory");
    ok = false;
  }
  if (ok) {
    sort_by_tick(r.messages);
    sort_by_tick(r.tempos);
    ok = to_seconds(&r, division, events);
  }
  array_reset(r.messages);
  array_reset(r.tempos);
  return ok ? 1 : 0;
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
