// Any bytes as each stored file: a slot loads with one of the loader's messages and keeps the operator
// headers and phases; a list chunk read writes back the very bytes it came from; a playlist appends only
// whole events; a path has a known prefix replaced and comes back otherwise byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/brightloom/env-all.hpp"
#include "apps/brightloom/iff32.hpp"
#include "apps/kelvarin/playlist.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "fuzz/fuzz_check.hpp"

namespace {

struct reading {
  byte_array bytes{};
  stream s;
  reading(const uint8_t* data, size_t size) {
    array_catb(&bytes.raw, data, int32_t(size));
    stream_make_on_array(&s, STREAM_READ, &bytes);
  }
  ~reading() {
    stream_delete(&s);
    array_reset(bytes);
  }
};

void check_slot(const uint8_t* data, size_t size) {
  synth_state before[2];
  std::memcpy(before, synths, sizeof before);
  reading in(data, size);
  const char* message = load(&in.s);
  fuzz_check(message == PRESET_CANNOT_LOAD || message == PRESET_LOADED || message == PRESET_INCOMPLETE, "message");
  for (int r = 0; r < 2; ++r) {
    for (int n = 0; n < VOICES; ++n) {
      fuzz_check(std::memcmp(&before[r].oscs[n].fm_saw.operators, &synths[r].oscs[n].fm_saw.operators, 16) == 0, "saw headers kept");
      fuzz_check(std::memcmp(&before[r].oscs[n].fm_square.operators, &synths[r].oscs[n].fm_square.operators, 16) == 0, "square headers kept");
      double now = synths[r].oscs[n].phase, was = before[0].oscs[n].phase, other = before[1].oscs[n].phase;
      fuzz_check(now == was || now == other, "phases only move between the records");
    }
  }
}

void check_list(const uint8_t* data, size_t size) {
  list_chunk l;
  reading in(data, size);
  if (list_chunk_read(&in.s, &l) && l.ok) {
    byte_array again{};
    stream out;
    stream_make_on_array(&out, STREAM_WRITE, &again);
    fuzz_check(list_chunk_write(&out, &l) == 1, "a list read is writable");
    stream_delete(&out);
    fuzz_check(size_t(array_bytes(&again.raw)) <= size && std::memcmp(again.raw.data, data, size_t(array_bytes(&again.raw))) == 0, "round trip");
    array_reset(again);
  }
  list_chunk_delete(&l);
}

void check_playlist(const uint8_t* data, size_t size) {
  event_array events{};
  reading in(data, size);
  int32_t count = playlist_read_stream(&in.s, &events);
  uint32_t length = 0;
  if (size >= 8) std::memcpy(&length, data + 4, 4);
  fuzz_check(count == event_array_length(&events) && count == (size >= 8 && length <= size - 8 ? int32_t(length / 12) : 0), "whole events only");
  byte_array out{};
  fuzz_check(count == 0 || (playlist_bytes(&events, &out) == 1 && std::memcmp(out.raw.data + 8, data + 8, size_t(12 * count)) == 0), "same events");
  array_reset(out);
  array_reset(events);
}

void check_path(const uint8_t* data, size_t size) {
  std::string path(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size)), want = path;
  for (auto [prefix, replacement] : {std::pair{"virtual://data/", "/fuzz/res/data/"}, {"virtual://root/", "/fuzz/res/"},
                                     {"virtual://material/", "/mnt/storage/private-media/material/"}, {"virtual://shaders/", "/fuzz/res/shaders/"}}) {
    if (path.rfind(prefix, 0) == 0) want = replacement + path.substr(std::strlen(prefix));
  }
  byte_array out = vpath(path.c_str());
  fuzz_check(array_bytes(&out.raw) == int32_t(want.size() + 1) && std::memcmp(out.raw.data, want.c_str(), want.size() + 1) == 0, "resolved path");
  array_reset(out);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("KELVARIN_RESOURCES", "/fuzz/res", 1);
  oscs_make();
  modmatrix_make();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  check_slot(data, size);
  check_list(data, size);
  check_playlist(data, size);
  check_path(data, size);
  return 0;
}
