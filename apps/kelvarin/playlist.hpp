// The recorded playlist: timed slot loads and the end of a performance, stored as one "PLS " chunk.
#pragma once
#include <cstddef>
#include <cstdint>

#include "apps/brightloom/stream.hpp"
#include "toolset/array.hpp"

constexpr int32_t PLAYLIST_LOAD_SLOT = 0;
constexpr int32_t PLAYLIST_END = 1;  // the program exits when the replay reaches it

// Stored as is: 12 bytes, little-endian.
struct playlist_event {
  int32_t kind;  // PLAYLIST_LOAD_SLOT or PLAYLIST_END; others are skipped by the replay
  float time;    // milliseconds of display time
  int32_t slot;  // 0..7 for a slot load, 0 for the end
};
static_assert(sizeof(playlist_event) == 12);
static_assert(offsetof(playlist_event, kind) == 0);
static_assert(offsetof(playlist_event, time) == 4);
static_assert(offsetof(playlist_event, slot) == 8);

using event_array = typed_array<playlist_event>;

inline void event_array_make_null(event_array* a) { *a = event_array{}; }
inline playlist_event* event_array_allocate(event_array* a, int32_t index) { return array_allocate(*a, index); }
inline playlist_event* event_array_get(const event_array* a, int32_t index) { return array_get(*a, index); }
inline int32_t event_array_length(const event_array* a) { return array_length(*a); }

// Reads one chunk (its tag is not examined) and appends its complete events to `events`; trailing bytes
// that do not fill an event are ignored. Returns the number of events appended (0 when no chunk could be
// read or the list could not grow).
int32_t playlist_read_stream(stream* s, event_array* events);
// The same from "virtual://root/playlist", opened read-only; a missing file appends nothing.
int32_t playlist_read(event_array* events);
// The "PLS " chunk holding every event (8 + 12 n bytes). 0 for an empty list, which is never stored.
int playlist_bytes(const event_array* events, byte_array* out);
// Replaces the playlist file atomically (see file_write_atomic): an interrupted write leaves the old
// playlist. 1 on success. Display thread.
int playlist_write_to(const char* path, const event_array* events);
int playlist_write(const event_array* events);
