// Any bytes read as a list chunk: a list read back writes the very bytes it came from, and its members
// read back one by one stay inside the list.
#include <cstdint>
#include <cstring>

#include "apps/brightloom/iff32.hpp"
#include "fuzz/fuzz_check.hpp"

namespace {
void check_members(list_chunk* l) {
  stream members;
  stream_make_on_array(&members, STREAM_READ, list_chunk_data(l));
  int64_t consumed = 0;
  chunk c;
  while (chunk_read(&c, &members)) {
    consumed += CHUNK_HEADER_BYTES + c.length;
    fuzz_check(c.length > 0 && array_bytes(&c.data.raw) == int32_t(c.length), "member length");
    chunk_delete(&c);
  }
  fuzz_check(consumed <= array_bytes(&l->data.raw), "members inside the list");
  stream_delete(&members);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  byte_array bytes{};
  array_catb(&bytes.raw, data, int32_t(size));
  stream s;
  stream_make_on_array(&s, STREAM_READ, &bytes);
  list_chunk l;
  int read = list_chunk_read(&s, &l);
  stream_delete(&s);
  if (read && l.ok) {
    check_members(&l);
    byte_array again{};
    stream out;
    stream_make_on_array(&out, STREAM_WRITE, &again);
    fuzz_check(list_chunk_write(&out, &l) == 1, "a list read is writable");
    stream_delete(&out);
    int32_t n = array_bytes(&again.raw);
    fuzz_check(size_t(n) <= size && std::memcmp(again.raw.data, data, size_t(n)) == 0, "round trip");
    array_reset(again);
  }
  list_chunk_delete(&l);
  array_reset(bytes);
  return 0;
}
