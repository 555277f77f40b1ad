// Chunk and list-chunk reading and writing; a damaged length never turns into a large allocation.
#include "apps/brightloom/iff32.hpp"

#include <cstring>

namespace {

uint32_t private_word(const byte_array& bytes, int32_t at) {
  uint32_t w = 0;
  std::memcpy(&w, bytes.raw.data + at, 4);
  return w;
}

// The type word is at the head of the chunk's data; the members follow it.
int private_list_from_bytes(list_chunk* l, const chunk* c) {
  if (!c->ok || array_bytes(&c->data.raw) < 4) {
    list_chunk_fail(l);
    return 0;
  }
  l->type = private_word(c->data, 0);
  if (!array_cate(&l->data.raw, &c->data.raw, 4, array_bytes(&c->data.raw))) {
    list_chunk_fail(l);
    return 0;
  }
  return 1;
}

int private_read_body(chunk* c, stream* s, uint32_t* tag, uint32_t* length) {
  if (!stream_blockread(s, tag, 4) || !stream_blockread(s, length, 4)) return 0;
  int64_t remaining = stream_endposition(s) - stream_getposition(s);
  if (*length == 0 || *length > uint32_t(INT32_MAX) || int64_t(*length) > remaining) return 0;
  if (!array_allocate(&c->data.raw, 1, int32_t(*length) - 1)) return 0;
  return stream_blockread(s, c->data.raw.data, *length);
}

}  // namespace

void chunk_make(chunk* c, uint32_t tag) {
  *c = chunk{};
  c->ok = 1;
  c->tag = tag;
}

void chunk_delete(chunk* c) { array_reset(c->data); }

void chunk_fail(chunk* c) {
  if (!c->ok) return;
  array_reset(c->data);
  c->ok = 0;
}

byte_array* chunk_data(chunk* c) { return &c->data; }

int chunk_is(const chunk* c, uint32_t tag) { return c->tag == tag; }

int chunk_write(stream* s, chunk* c) {
  int32_t bytes = array_bytes(&c->data.raw);
  if (bytes <= 0) chunk_fail(c);
  if (!c->ok) return 0;
  uint32_t length = uint32_t(bytes);
  if (!stream_blockwrite(s, &c->tag, 4) || !stream_blockwrite(s, &length, 4) ||
      !stream_blockwrite(s, c->data.raw.data, bytes))
    return 0;
  return !stream_hasfailed(s);
}

int chunk_read(chunk* c, stream* s) {
  chunk_make(c, 0);
  int64_t start = stream_getposition(s);
  uint32_t tag = 0, length = 0;
  if (!private_read_body(c, s, &tag, &length)) {
    stream_position(s, start);
    chunk_fail(c);
    return 0;
  }
  c->tag = tag;
  c->length = length;
  return 1;
}

void list_chunk_make(list_chunk* l, uint32_t tag, uint32_t type) {
  *l = list_chunk{};
  l->ok = 1;
  l->tag = tag;
  l->type = type;
}

void list_chunk_delete(list_chunk* l) { array_reset(l->data); }

void list_chunk_fail(list_chunk* l) {
  if (!l->ok) return;
  array_reset(l->data);
  l->ok = 0;
}

byte_array* list_chunk_data(list_chunk* l) { return &l->data; }

int list_chunk_write(stream* s, list_chunk* l) {
  if (!l->ok) return 0;
  chunk whole;
  chunk_make(&whole, l->tag);
  array_catb(&whole.data.raw, &l->type, 4);
  array_cat(&whole.data.raw, &l->data.raw);
  int written = chunk_write(s, &whole);
  chunk_delete(&whole);
  return written;
}

int list_chunk_read(stream* s, list_chunk* l) {
  list_chunk_make(l, 0, 0);
  chunk c;
  if (!chunk_read(&c, s)) {
    list_chunk_fail(l);
    return 0;
  }
  l->tag = c.tag;
  private_list_from_bytes(l, &c);
  chunk_delete(&c);
  return 1;
}

int list_chunk_from_chunk(list_chunk* l, const chunk* c) {
  list_chunk_make(l, c->tag, 0);
  return private_list_from_bytes(l, c);
}
