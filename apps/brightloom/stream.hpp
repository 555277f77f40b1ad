// Positioned binary block streams over a stdio file or a growable byte array; failures are sticky flags.
#pragma once
#include <cstdint>
#include <cstdio>

#include "toolset/array.hpp"

// Mode bits: a stream may read, write, or both.
constexpr uint32_t STREAM_READ = 2;
constexpr uint32_t STREAM_WRITE = 4;

constexpr int32_t STREAM_NONE = 0;
constexpr int32_t STREAM_FILE = 1;
constexpr int32_t STREAM_ARRAY = 2;

// Made in storage the caller provides. A file target is owned (closed by delete or on failure); an array
// target is borrowed and stays its owner's. Only the display thread uses streams.
struct stream {
  int32_t kind = STREAM_NONE;
  int32_t ok = 0;     // 1 until the stream fails; never set back
  uint32_t mode = 0;  // STREAM_READ | STREAM_WRITE
  std::FILE* file = nullptr;
  byte_array* bytes = nullptr;
  int64_t position = 0;  // array streams only: the next byte to read or write
};

void stream_make(stream* s, uint32_t mode);
void stream_make_null(stream* s);
// A null array gives a failed stream.
void stream_make_on_array(stream* s, uint32_t mode, byte_array* bytes);
// Write modes open "r+b" (an existing file is overwritten from its start, never truncated) and create the
// file when missing; read-only opens "rb". A file that cannot be opened gives a failed stream.
void stream_make_on_file(stream* s, uint32_t mode, const char* path);
void stream_delete(stream* s);

int stream_hasfailed(const stream* s);
// 1 only when exactly `size` bytes moved. A short read or write does not fail the stream.
int stream_blockread(stream* s, void* buffer, int64_t size);
int stream_blockwrite(stream* s, const void* buffer, int64_t size);
int64_t stream_getposition(stream* s);  // 0 for a failed stream
int64_t stream_endposition(stream* s);  // size in bytes; 0 for a failed stream
int64_t stream_firstposition(const stream* s);
// Absolute move. A bad seek fails the stream; on an array the position must be below its size, so moving
// to exactly the end of an array fails the stream too.
void stream_position(stream* s, int64_t position);
