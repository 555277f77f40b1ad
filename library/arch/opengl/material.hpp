// Materials: fixed-function render state (blending, depth, filtering, wrap, colour, shader) around a draw.
#pragma once
#include <cstdint>

enum : uint32_t {
  MATERIAL_NEAREST = 1,          // nearest filtering instead of linear
  MATERIAL_BLEND = 2,            // alpha blending (source alpha, one minus source alpha)
  MATERIAL_ADDITIVE = 4,         // additive blending (source alpha, one); wins over MATERIAL_BLEND
  MATERIAL_NO_DEPTH = 8,         // depth test and writes off; set by material_on when blending
  MATERIAL_NO_MULTISAMPLE = 16,  // multisampling off while on
  MATERIAL_KEEP_COLOUR = 32,     // leave the current colour alone; commit stores no colour
  MATERIAL_SHADER = 64,          // use `program`
  MATERIAL_REPEAT = 128,         // wrap repeat instead of clamp to edge
};

struct material {
  uint32_t flags;
  float colour[4];   // red, green, blue, alpha
  uint32_t program;  // GL program name; the owner supplies it
};

// Flags 0, program 0, colour opaque white.
void material_make(material* m);
// Stores the flags and, unless MATERIAL_KEEP_COLOUR (or no colour is given), the colour given as alpha,
// red, green, blue.
void material_commit_with(material* m, uint32_t flags, const float argb[4]);
// Applies the state; affects the textures currently bound to the 1D, 2D and 3D targets.
void material_on(material* m);
void material_off(const material* m);
void material_delete(material* m);
