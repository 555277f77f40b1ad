// Sprites: an image drawn as one textured quad anchored at its top-left corner.
#pragma once
#include "library/arch/opengl/material.hpp"
#include "pure/vectors.hpp"
#include "toolset/visuals/image.hpp"

struct sprite {
  const image* source;  // borrowed: stays with its owner
  struct material material;  // nearest filtering and alpha blending, opaque white
};

void sprite_make(sprite* s, const image* source);
// Top-left corner at (position.x, position.y); extends size.x to the right and size.y downwards (smaller y).
void sprite_draw(sprite* s, const vector4* position, const vector4* size);
void sprite_delete(sprite* s);
