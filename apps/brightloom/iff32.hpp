// Tagged chunks and lists of chunks (RIFF-like, little-endian, odd lengths unpadded) over byte streams.
#pragma once
#include <cstdint>

#include "apps/brightloom/stream.hpp"
#include "toolset/array.hpp"

// On disk: 4-byte tag, 4-byte little-endian length of the data that follows, the data. A list chunk's
// data starts with a 4-byte list type followed by complete member chunks. Length 0 is never written and
// never accepted.
constexpr int32_t CHUNK_HEADER_BYTES = 8;

// The four characters in reading order as one little-endian word: chunk_tag("VFX2") is 0x32584656.
constexpr uint32_t chunk_tag(const char (&text)[5]) {
  return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
         uint32_t(uint8_t(text[3])) << 24;
}

struct chunk {
  int32_t ok = 0;
  uint32_t tag = 0;
  uint32_t length = 0;  // as read from the stream
  byte_array data{};
};

struct list_chunk {
  int32_t ok = 0;
  uint32_t tag = 0;     // "RIFF" or "LIST" in stored files
  uint32_t length = 0;  // always 0
  uint32_t type = 0;
  byte_array data{};    // the members back to back, without the type word
};

void chunk_make(chunk* c, uint32_t tag);
void chunk_delete(chunk* c);
void chunk_fail(chunk* c);
byte_array* chunk_data(chunk* c);
int chunk_is(const chunk* c, uint32_t tag);
// An empty chunk fails and writes nothing. 1 only if every byte went out and the stream has not failed.
int chunk_write(stream* s, chunk* c);
// Reads the next chunk. A length the stream cannot still hold (or 2^31 and more, or 0) is refused before
// anything is allocated. On failure the stream is moved back to where the chunk began (which fails an
// array stream that stood at its end) and the chunk is failed: reading until 0 yields the complete chunks.
int chunk_read(chunk* c, stream* s);

void list_chunk_make(list_chunk* l, uint32_t tag, uint32_t type);
void list_chunk_delete(list_chunk* l);
void list_chunk_fail(list_chunk* l);
byte_array* list_chunk_data(list_chunk* l);
int list_chunk_write(stream* s, list_chunk* l);
// Reads one chunk as a list. A chunk of fewer than 4 bytes still returns 1, with the list failed and empty.
int list_chunk_read(stream* s, list_chunk* l);
// 0 (list failed) when the chunk is failed or shorter than the type word.
int list_chunk_from_chunk(list_chunk* l, const chunk* c);
