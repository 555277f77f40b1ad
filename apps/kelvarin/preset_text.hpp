// Presets as readable text: every field of a slot (synthesizer record and visuals) as `name = value` lines,
// and back, so shipped presets are reviewable sources.
#pragma once
#include <cstdint>
#include <string>

#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/visuals_model.hpp"

// What one slot file holds, in memory.
struct preset_image {
  synth_state synth;
  vfx_cell layers[VFX_LAYERS][VFX_LAYERS];
  frame_modulation entries[8][VFX_LAYERS];
};

// The record's default state as the instrument starts (oscillators at note 57 with the fixed-seed
// phases, diagonal "out" cells, silent voices) and the visuals' defaults; a source lists what differs.
void preset_image_defaults(preset_image* p);

// One line per field, named as in the record: `osc.3.kind = saw`, `voice.0.volume = 0.8`,
// `cell.0.1.type = frq`, `vfx.cell.2.2.scale = 0.97`, `vfx.mod.0.1.function = rms`. Floats are
// printed so that they read back to the same bits; the operator-array headers (run-time state) are left
// out.
std::string preset_dump(const preset_image& p);

// Applies `name = value` lines over what `p` holds; `#` starts a comment. On the first bad line returns
// false with a message naming the line number and the problem.
bool preset_parse(preset_image* p, const std::string& text, std::string* error);
