// The visuals' layer matrix and modulation entries with their defaults and display names.
#include "apps/kelvarin/visuals_model.hpp"

#include <iterator>

#include "toolset/atomics.hpp"

vfx_cell modmatrix[VFX_LAYERS][VFX_LAYERS];
frame_modulation modmatrix_of[8][VFX_LAYERS];
float osc_buffer[8][OSC_BUFFER_N];
int32_t osc_buffer_i[8];

void modmatrix_make() {
  for (int32_t j = 0; j < VFX_LAYERS; ++j) {
    for (int32_t l = 0; l < VFX_LAYERS; ++l) modmatrix[j][l] = {j == l ? 1 : 0, 0, 0.97f, 0.0f, 1.0f};
  }
  for (auto& voice : modmatrix_of) {
    for (frame_modulation& e : voice) {
      e.type = 0;
      e.function = 0;
      e.amount = 0.0f;
      e.divisor = 1.0f;
      store_relaxed(e.value, 0.0f);
    }
  }
  for (int32_t& i : osc_buffer_i) store_relaxed(i, 0);
}

const char* osc_frame_modulation_type_as_string(int32_t code) {
  static const char* const names[] = {"zro", "scl", "rtX", "rtZ", "trg", "mvh", "mvv"};
  static_assert(std::size(names) == FRAME_TYPES);
  return uint32_t(code) < uint32_t(FRAME_TYPES) ? names[code] : "unk";
}

const char* osc_frame_function_as_string(int32_t code) {
  static const char* const names[] = {"avg", "rms", "min", "max"};
  static_assert(std::size(names) == FRAME_FUNCTIONS);
  return uint32_t(code) < uint32_t(FRAME_FUNCTIONS) ? names[code] : "unk";
}
