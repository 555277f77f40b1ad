// Textures: storage at power-of-two sizes, a client buffer between define and commit, padding filled from it.
#include "library/arch/opengl/texture.hpp"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>

#include "library/arch/opengl/debug.hpp"
#include "library/arch/opengl/extensions.hpp"
#include "pure/math.hpp"

namespace {
constexpr const char* source_name = "library/arch/opengl/texture";

GLenum target_of(int32_t dimensions) {
  if (dimensions == 1) return GL_TEXTURE_1D;
  return dimensions == 3 ? GL_TEXTURE_3D : GL_TEXTURE_2D;
}

// Creates the storage for the padded extent; returns the GL error it ended in (also printed).
GLenum private_texture_storage(texture* t) {
  const int32_t* p = t->padded_extent;
  if (t->target == GL_TEXTURE_1D) {
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, p[0], 0, t->pixel_format, t->pixel_type, nullptr);
    return opengl_trace(source_name, 143);
  }
  if (t->target == GL_TEXTURE_2D) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, p[0], p[1], 0, t->pixel_format, t->pixel_type, nullptr);
    return opengl_trace(source_name, 155);
  }
  // 3D textures are reached through the extension loader; without it the storage cannot be made.
  if (!opengl_extensions_init() || !glTexImage3D) return GL_INVALID_VALUE;
  glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA, p[0], p[1], p[2], 0, t->pixel_format, t->pixel_type, nullptr);
  return opengl_trace(source_name, 168);
}

// Runs the definition; on return the texture is alive and defined, or not alive.
void private_texture_define(texture* t, uint32_t flags, int32_t kind, const int32_t* extent) {
  t->defined = 0;
  t->flags = flags;
  texture_layout layout;
  if (!texture_layout_of(&layout, kind, extent)) {
    texture_fail(t);
    return;
  }
  for (int i = 0; i < 3; ++i) {
    t->extent[i] = layout.extent[i];
    t->padded_extent[i] = layout.padded_extent[i];
  }
  GLenum target = target_of(layout.dimensions);
  if (t->target && t->target != target) {
    // A GL texture name keeps the target it was first bound to: a new dimension needs a new name.
    glDeleteTextures(1, &t->name);
    glGenTextures(1, &t->name);
  }
  t->target = target;
  glEnable(t->target);
  glBindTexture(t->target, t->name);
  opengl_trace(source_name, 124);
  t->pixel_format = GL_RGBA;
  t->pixel_type = GL_UNSIGNED_INT_8_8_8_8_REV;
  t->defined = 1;
  // The trace reads the error the storage creation raised, so its result decides a refused storage.
  if (private_texture_storage(t) == GL_INVALID_VALUE) {
    glDisable(t->target);
    texture_fail(t);
    return;
  }
  glTexParameteri(t->target, GL_GENERATE_MIPMAP, (flags & TEXTURE_NO_MIPMAPS) ? GL_FALSE : GL_TRUE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexParameteri(t->target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(t->target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  for (int i = 0; i < 4; ++i) t->uv[i] = layout.uv[i];
  glDisable(t->target);
}

void private_texture_upload_2d(const texture* t) {
  int32_t w = t->extent[0], h = t->extent[1];
  int32_t pw = t->padded_extent[0], ph = t->padded_extent[1];
  GLenum f = t->pixel_format, ty = t->pixel_type;
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, f, ty, t->pixels);
  // Padding repeats the content's start so filtering at the content's edge never reads undefined texels.
  if (pw > w) glTexSubImage2D(GL_TEXTURE_2D, 0, w, 0, pw - w, h, f, ty, t->pixels);
  if (ph > h) glTexSubImage2D(GL_TEXTURE_2D, 0, 0, h, w, ph - h, f, ty, t->pixels);
  if (pw > w && ph > h) glTexSubImage2D(GL_TEXTURE_2D, 0, w, h, pw - w, ph - h, f, ty, t->pixels);
}
}  // namespace

int texture_layout_of(texture_layout* layout, int32_t kind, const int32_t* extent) {
  if (kind < 1 || kind > 3) return 0;
  int32_t given[3] = {0, 0, 0};
  for (int32_t i = 0; i < kind; ++i) given[i] = extent[i];
  layout->dimensions = given[1] + given[2] == 0 ? 1 : (given[2] != 0 ? 3 : 2);
  for (int i = 0; i < 3; ++i) {
    layout->padded_extent[i] = ceil_to_power_of_two(given[i]);
    layout->extent[i] = given[i] < 1 ? 1 : given[i];
  }
  layout->uv[0] = 0.0f;
  layout->uv[1] = float(layout->extent[0]) / float(layout->padded_extent[0]);
  layout->uv[2] = 0.0f;
  layout->uv[3] = float(layout->extent[1]) / float(layout->padded_extent[1]);
  return 1;
}

void texture_make(texture* t) {
  *t = texture{};
  t->alive = 1;
  glGenTextures(1, &t->name);
}

void texture_define(texture* t, uint32_t flags, void** out_pixels, int32_t kind, const int32_t* extent) {
  if (t->alive) private_texture_define(t, flags, kind, extent);
  free(t->pixels);
  t->pixels = nullptr;
  if (t->alive && t->defined) {
    size_t texels = size_t(t->extent[0]) * size_t(t->extent[1]) * size_t(t->extent[2]);
    t->pixels = static_cast<uint8_t*>(calloc(texels, 4));
  }
  *out_pixels = t->pixels;
}

void texture_commit(texture* t) {
  if (!t->alive || !t->pixels) return;
  glEnable(t->target);
  glBindTexture(t->target, t->name);
  int32_t w = t->extent[0];
  if (t->target == GL_TEXTURE_1D) {
    glTexSubImage1D(GL_TEXTURE_1D, 0, 0, w, t->pixel_format, t->pixel_type, t->pixels);
    int32_t pad = t->padded_extent[0] - w;
    if (pad > 0) glTexSubImage1D(GL_TEXTURE_1D, 0, w, pad, t->pixel_format, t->pixel_type, t->pixels);
  } else if (t->target == GL_TEXTURE_2D) {
    private_texture_upload_2d(t);
  } else {
    glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, w, t->extent[1], t->extent[2], t->pixel_format, t->pixel_type,
                    t->pixels);
  }
  opengl_trace(source_name, 313);
  free(t->pixels);
  t->pixels = nullptr;
  glDisable(t->target);
}

void texture_on(const texture* t) {
  if (!t->alive || !t->defined) {
    puts("texture is undefined");
    return;
  }
  glEnable(t->target);
  glBindTexture(t->target, t->name);
}

void texture_off(const texture* t) {
  if (t->alive && t->defined) glDisable(t->target);
}

void texture_uv(const texture* t, float* coordinates) {
  if (!t->alive || !t->defined) return;
  coordinates[0] *= float(t->extent[0]) / float(t->padded_extent[0]);
  if (t->target == GL_TEXTURE_1D) return;
  coordinates[1] *= float(t->extent[1]) / float(t->padded_extent[1]);
  if (t->target == GL_TEXTURE_3D) coordinates[2] *= float(t->extent[2]) / float(t->padded_extent[2]);
}

void texture_delete(texture* t) {
  t->alive = 0;
  t->defined = 0;
  glDeleteTextures(1, &t->name);
  free(t->pixels);
  t->pixels = nullptr;
}

void texture_fail(texture* t) {
  if (t->alive) glDeleteTextures(1, &t->name);
  t->alive = 0;
  t->defined = 0;
  free(t->pixels);
  t->pixels = nullptr;
}
