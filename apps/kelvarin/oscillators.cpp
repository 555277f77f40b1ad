// The kind and cell-type names, and the table of generators by kind.
#include "apps/kelvarin/oscillators.hpp"

#include <iterator>

const char* osc_waveform_as_string(int32_t kind) {
  static const char* const names[] = {"sin", "tri", "saw", "squ", "zro", "noi",
                                      "reg", "ar",  "euc", "bsw", "bsq", "fiv"};
  static_assert(std::size(names) == OSC_WAVEFORMS);
  return uint32_t(kind) < uint32_t(OSC_WAVEFORMS) ? names[kind] : "unk";
}

const char* osc_modulation_type_as_string(int32_t type) {
  static const char* const names[] = {"zro", "out", "amp", "phs", "frq", "mix", "s&h", "trg", "pr1", "pr2"};
  static_assert(std::size(names) == MOD_TYPES);
  return uint32_t(type) < uint32_t(MOD_TYPES) ? names[type] : "unk";
}

const osc_generator osc_generators[] = {
    sine_osc,  bl_triangle_osc, fm_saw_osc, fm_square_osc, null_osc,   random_osc,
    lsfr_osc,  ar_osc,          euclid_osc, bl_saw_osc,    bl_square_osc, lsfr_val_osc,
};
static_assert(std::size(osc_generators) == OSC_WAVEFORMS);
