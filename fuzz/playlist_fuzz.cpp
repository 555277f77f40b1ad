// Any bytes as a playlist file: only whole events are appended, and writing them back gives the same
// event bytes under the "PLS " tag.
#include <cstdint>
#include <cstring>

#include "apps/kelvarin/playlist.hpp"
#include "fuzz/fuzz_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  byte_array bytes{};
  array_catb(&bytes.raw, data, int32_t(size));
  stream s;
  stream_make_on_array(&s, STREAM_READ, &bytes);
  event_array events{};
  int32_t count = playlist_read_stream(&s, &events);
  stream_delete(&s);
  fuzz_check(count == event_array_length(&events), "appended count");
  uint32_t length = 0;
  if (size >= 8) std::memcpy(&length, data + 4, 4);
  bool complete = size >= 8 && length > 0 && length <= size - 8;
  fuzz_check(count == (complete ? int32_t(length / 12) : 0), "whole events only");
  if (count > 0) {
    byte_array out{};
    fuzz_check(playlist_bytes(&events, &out) == 1, "written");
    fuzz_check(array_bytes(&out.raw) == 8 + 12 * count, "size");
    fuzz_check(std::memcmp(out.raw.data + 8, data + 8, size_t(12 * count)) == 0, "same events");
    fuzz_check(std::memcmp(out.raw.data, "PLS ", 4) == 0, "tag");
    array_reset(out);
  }
  array_reset(events);
  array_reset(bytes);
  return 0;
}
