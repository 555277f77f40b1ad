// Walks the chunks and track events of a MIDI file without interpreting them.
#include "apps/kelvarin/midi_file_check.hpp"

#include <cstdio>
#include <cstring>

namespace {

constexpr int32_t ERROR_BYTES = 256;

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

int32_t data_bytes_of(int32_t status) {
  int32_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

bool channel_data(cursor* c, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    int32_t b;
    if (!read_byte(c, &b) || b >= 0x80) return false;
  }
  return true;
}

// One event after its delta time; `running` is the status a data byte continues (0: none).
// Sets *end_of_track on the End Of Track meta event.
bool track_event(cursor* c, int32_t* running, bool* end_of_track) {
  int32_t status, length, type;
  if (!read_byte(c, &status)) return false;
  if (status < 0x80) {
    if (!*running) return false;
    c->at--;
    return channel_data(c, data_bytes_of(*running));
  }
  if (status < 0xF0) {
    *running = status;
    return channel_data(c, data_bytes_of(status));
  }
  *running = 0;  // system exclusive and meta events cancel running status
  if (status == 0xF0 || status == 0xF7) return read_vlq(c, &length) && skip(c, length);
  if (status != 0xFF || !read_byte(c, &type) || !read_vlq(c, &length) || !skip(c, length)) return false;
  *end_of_track = type == 0x2F && length == 0;
  return true;
}

bool check_track(const unsigned char* bytes, int32_t length, int32_t track, char* error) {
  cursor c{bytes, length, 0};
  int32_t running = 0;
  bool end_of_track = false;
  while (!end_of_track) {
    int32_t delta;
    int32_t start = c.at;
    if (c.at == c.end) {
      snprintf(error, ERROR_BYTES, "track %d does not end with an End Of Track event", track);
      return false;
    }
    if (!read_vlq(&c, &delta) || !track_event(&c, &running, &end_of_track)) {
      snprintf(error, ERROR_BYTES, "track %d has a malformed or cut-short event at byte %d", track, start);
      return false;
    }
  }
  return true;
}

bool check_header(const unsigned char* bytes, int32_t count, int32_t* tracks, char* error) {
  if (count < 14 || std::memcmp(bytes, "MThd", 4) != 0 || big_endian(bytes + 4, 4) < 6) {
    snprintf(error, ERROR_BYTES, "not a Standard MIDI File (no MThd header)");
    return false;
  }
  uint32_t format = big_endian(bytes + 8, 2);
  if (format > 1) {
    snprintf(error, ERROR_BYTES, "MIDI file format %u is not supported (only 0 and 1)", format);
    return false;
  }
  uint32_t division = big_endian(bytes + 12, 2);
  if (division == 0 || (division & 0x8000)) {
    snprintf(error, ERROR_BYTES, "the time division %u is not supported (ticks per quarter note only)", division);
    return false;
  }
  *tracks = int32_t(big_endian(bytes + 10, 2));
  return true;
}

}  // namespace

int midi_file_check(const unsigned char* bytes, int32_t count, char* error) {
  int32_t tracks = 0;
  if (!bytes || !check_header(bytes, count, &tracks, error)) return 0;
  int64_t at = 8 + int64_t(big_endian(bytes + 4, 4));
  int32_t found = 0;
  while (at + 8 <= count && found < tracks) {
    int64_t length = big_endian(bytes + at + 4, 4);
    if (at + 8 + length > count) {
      snprintf(error, ERROR_BYTES, "a chunk at byte %lld runs past the end of the file", (long long)at);
      return 0;
    }
    if (std::memcmp(bytes + at, "MTrk", 4) == 0) {
      if (!check_track(bytes + at + 8, int32_t(length), found, error)) return 0;
      found++;
    }
    at += 8 + length;
  }
  if (found < tracks || found == 0) {
    snprintf(error, ERROR_BYTES, "the file holds %d of its %d tracks", found, tracks);
    return 0;
  }
  return 1;
}
