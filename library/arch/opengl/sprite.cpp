// Sprites: each draw uploads the image into a temporary texture and draws one quad from its top-left corner.
#include "library/arch/opengl/sprite.hpp"

#include <GL/glew.h>

#include "library/arch/opengl/texture.hpp"

void sprite_make(sprite* s, const image* source) {
  s->source = source;
  material_make(&s->material);
  const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  material_commit_with(&s->material, MATERIAL_NEAREST | MATERIAL_BLEND, white);
}

void sprite_draw(sprite* s, const vector4* position, const vector4* size) {
  texture t;
  texture_make(&t);
  int32_t extent[2] = {0, 0};
  if (s->source) image_extent(s->source, extent);
  void* pixels = nullptr;
  texture_define(&t, TEXTURE_NO_MIPMAPS, &pixels, 2, extent);
  if (pixels && s->source) {
    image buffer;
    image_make_borrow(&buffer, pixels, t.extent[0], t.extent[1]);
    image_blit_to(s->source, &buffer);
    image_delete(&buffer);
  }
  texture_commit(&t);
  // The material's filter and wrap land on the texture, which is still bound to the 2D target.
  material_on(&s->material);
  texture_on(&t);
  float x = position->x, y = position->y, w = size->x, h = size->y;
  glBegin(GL_QUADS);
  glTexCoord2f(t.uv[0], t.uv[2]);
  glVertex2f(x, y);
  glTexCoord2f(t.uv[0], t.uv[3]);
  glVertex2f(x, y - h);
  glTexCoord2f(t.uv[1], t.uv[3]);
  glVertex2f(x + w, y - h);
  glTexCoord2f(t.uv[1], t.uv[2]);
  glVertex2f(x + w, y);
  glEnd();
  texture_off(&t);
  material_off(&s->material);
  texture_delete(&t);
}

void sprite_delete(sprite* s) {
  s->source = nullptr;
  material_delete(&s->material);
}
