// Any bytes as a slot file: the loader answers with one of its messages, never touches the operator
// headers, and leaves every phase as it was.
#include <cstdint>
#include <cstring>

#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "fuzz/fuzz_check.hpp"

namespace {
struct headers {
  fm_synth_osc_array saw[2][8], square[2][8];
  double phase[2][8];
};

headers take_headers() {
  headers h;
  for (int r = 0; r < 2; ++r) {
    for (int n = 0; n < 8; ++n) {
      h.saw[r][n] = synths[r].oscs[n].fm_saw.operators;
      h.square[r][n] = synths[r].oscs[n].fm_square.operators;
      std::memcpy(&h.phase[r][n], reinterpret_cast<const unsigned char*>(&synths[r].oscs[n]) + 148, 8);
    }
  }
  return h;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  oscs_make();
  modmatrix_make();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  headers before = take_headers();
  byte_array bytes{};
  array_catb(&bytes.raw, data, int32_t(size));
  stream s;
  stream_make_on_array(&s, STREAM_READ, &bytes);
  const char* message = load(&s);
  stream_delete(&s);
  array_reset(bytes);
  fuzz_check(message == PRESET_CANNOT_LOAD || message == PRESET_LOADED || message == PRESET_INCOMPLETE, "message");
  headers after = take_headers();
  fuzz_check(std::memcmp(before.saw, after.saw, sizeof before.saw) == 0, "saw headers kept");
  fuzz_check(std::memcmp(before.square, after.square, sizeof before.square) == 0, "square headers kept");
  // Phases only ever move between the records: the set of the two records' phases per oscillator stays.
  for (int n = 0; n < 8; ++n) {
    bool same = (before.phase[0][n] == after.phase[0][n] || before.phase[0][n] == after.phase[1][n]);
    fuzz_check(same, "phases come from the running records");
  }
  return 0;
}
