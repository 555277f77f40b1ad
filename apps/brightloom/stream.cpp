// Byte streams: dispatch on the target kind, sticky failure that releases the target at once.
#include "apps/brightloom/stream.hpp"

#include <climits>
#include <cstring>

namespace {

void impl_release(stream* s) {
  if (s->file) std::fclose(s->file);
  s->file = nullptr;
  s->bytes = nullptr;
  s->position = 0;
}

void impl_fail(stream* s) {
  if (!s->ok) return;
  s->ok = 0;
  impl_release(s);
  s->kind = STREAM_NONE;
}

void impl_attach_array(stream* s, byte_array* bytes) {
  impl_release(s);
  s->kind = STREAM_ARRAY;
  s->bytes = bytes;
}

void impl_attach_file(stream* s, std::FILE* f) {
  impl_release(s);
  s->kind = STREAM_FILE;
  s->file = f;
}

int64_t impl_array_size(const stream* s) { return array_bytes(&s->bytes->raw); }

int impl_blockread(stream* s, void* buffer, int64_t size) {
  if (s->kind == STREAM_FILE) return std::fread(buffer, 1, size_t(size), s->file) == size_t(size);
  if (s->kind != STREAM_ARRAY) return 0;
  if (size > impl_array_size(s) - s->position) return 0;  // a failed array counts -1 bytes
  std::memcpy(buffer, s->bytes->raw.data + s->position, size_t(size));
  s->position += size;
  return 1;
}

int impl_blockwrite(stream* s, const void* buffer, int64_t size) {
  if (s->kind == STREAM_FILE) return std::fwrite(buffer, 1, size_t(size), s->file) == size_t(size);
  if (s->kind != STREAM_ARRAY) return 0;
  int64_t end = s->position + size;
  if (end > INT32_MAX || !array_allocate(&s->bytes->raw, 1, int32_t(end - 1))) return 0;
  std::memcpy(s->bytes->raw.data + s->position, buffer, size_t(size));
  s->position = end;
  return 1;
}

int64_t impl_endposition(stream* s) {
  if (s->kind == STREAM_ARRAY) return impl_array_size(s) < 0 ? 0 : impl_array_size(s);
  if (s->kind != STREAM_FILE) return 0;
  long here = std::ftell(s->file);
  if (here < 0 || std::fseek(s->file, 0, SEEK_END) != 0) return 0;
  long end = std::ftell(s->file);
  std::fseek(s->file, here, SEEK_SET);
  return end < 0 ? 0 : end;
}

}  // namespace

void stream_make(stream* s, uint32_t mode) {
  *s = stream{};
  s->ok = 1;
  s->mode = mode;
}

void stream_make_null(stream* s) { stream_make(s, 0); }

void stream_make_on_array(stream* s, uint32_t mode, byte_array* bytes) {
  stream_make(s, mode);
  if (!bytes) {
    impl_fail(s);
    return;
  }
  impl_attach_array(s, bytes);
}

void stream_make_on_file(stream* s, uint32_t mode, const char* path) {
  stream_make(s, mode);
  const char* open_mode = (mode & STREAM_WRITE) ? "r+b" : mode == STREAM_READ ? "rb" : "";
  std::FILE* f = path ? std::fopen(path, open_mode) : nullptr;
  if (!f && path && (mode & STREAM_WRITE)) f = std::fopen(path, "w+b");
  if (!f) {
    impl_fail(s);
    return;
  }
  impl_attach_file(s, f);
}

void stream_delete(stream* s) {
  impl_release(s);
  *s = stream{};
}

int stream_hasfailed(const stream* s) { return !s->ok; }

int stream_blockread(stream* s, void* buffer, int64_t size) {
  if (!s->ok || size <= 0 || !(s->mode & STREAM_READ)) return 0;
  return impl_blockread(s, buffer, size);
}

int stream_blockwrite(stream* s, const void* buffer, int64_t size) {
  if (!s->ok || size <= 0 || !(s->mode & STREAM_WRITE)) return 0;
  return impl_blockwrite(s, buffer, size);
}

int64_t stream_getposition(stream* s) {
  if (!s->ok) return 0;
  if (s->kind == STREAM_ARRAY) return s->position;
  if (s->kind != STREAM_FILE) return 0;
  long here = std::ftell(s->file);
  return here < 0 ? 0 : here;
}

int64_t stream_endposition(stream* s) { return s->ok ? impl_endposition(s) : 0; }

int64_t stream_firstposition(const stream*) { return 0; }

void stream_position(stream* s, int64_t position) {
  if (!s->ok) return;
  if (s->kind == STREAM_FILE) {
    if (position < 0 || position > LONG_MAX || std::fseek(s->file, long(position), SEEK_SET) != 0) impl_fail(s);
  } else if (s->kind == STREAM_ARRAY) {
    if (position < 0 || position >= impl_array_size(s)) impl_fail(s);
    else s->position = position;
  } else {
    impl_fail(s);
  }
}
