// Playlist file reading (one chunk appended to the event list) and atomic writing.
#include "apps/kelvarin/playlist.hpp"

#include "apps/brightloom/env-all.hpp"
#include "apps/brightloom/iff32.hpp"
#include "apps/kelvarin/presets.hpp"

namespace {
constexpr const char* PLAYLIST_PATH = "virtual://root/playlist";
constexpr int32_t EVENT_BYTES = int32_t(sizeof(playlist_event));
}  // namespace

int32_t playlist_read_stream(stream* s, event_array* events) {
  chunk c;
  if (!chunk_read(&c, s)) return 0;
  int32_t count = array_bytes(&c.data.raw) / EVENT_BYTES;
  int appended = array_cate(&events->raw, &c.data.raw, 0, count * EVENT_BYTES);
  chunk_delete(&c);
  return appended ? count : 0;
}

int32_t playlist_read(event_array* events) {
  byte_array path = vpath(PLAYLIST_PATH);
  stream s;
  stream_make_on_file(&s, STREAM_READ, array_data(path));
  int32_t count = playlist_read_stream(&s, events);
  stream_delete(&s);
  array_reset(path);
  return count;
}

int playlist_bytes(const event_array* events, byte_array* out) {
  chunk c;
  chunk_make(&c, chunk_tag("PLS "));
  array_cat(&c.data.raw, &events->raw);
  array_trunc(*out);
  stream s;
  stream_make_on_array(&s, STREAM_WRITE, out);
  int written = chunk_write(&s, &c);
  stream_delete(&s);
  chunk_delete(&c);
  return written;
}

int playlist_write_to(const char* path, const event_array* events) {
  byte_array bytes{};
  int ok = playlist_bytes(events, &bytes) && file_write_atomic(path, bytes.raw.data, array_bytes(&bytes.raw));
  array_reset(bytes);
  return ok;
}

int playlist_write(const event_array* events) {
  byte_array path = vpath(PLAYLIST_PATH);
  int ok = playlist_write_to(array_data(path), events);
  array_reset(path);
  return ok;
}
