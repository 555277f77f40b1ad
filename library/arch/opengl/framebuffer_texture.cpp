// Raster frame textures: convert the caller's pixels to the display depth, upload and draw them full-window.
#include "library/arch/opengl/framebuffer_texture.hpp"

#include <GL/glew.h>

#include <cstdlib>

#include "library/arch/opengl/debug.hpp"
#include "library/arch/posix/time.hpp"
#include "pure/math.hpp"
#include "pure/visuals/pixels.hpp"

namespace {
constexpr const char* source_name = "library/arch/opengl/framebuffer_texture";

size_t padded_pixels(const framebuffer_texture* t) { return size_t(t->padded_width) * size_t(t->padded_height); }

// The input buffer shares the upload buffer only for 0x00RRGGBB words at 32 bits.
bool shares_upload_p(const framebuffer_texture* t) {
  return t->input_type == FRAMEBUFFER_INPUT_I32 && t->bits_per_pixel == 32;
}

GLenum private_framebuffer_texture_storage(const framebuffer_texture* t) {
  if (t->bits_per_pixel == 16) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, t->padded_width, t->padded_height, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5,
                 t->upload);
  } else {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, t->padded_width, t->padded_height, 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, t->upload);
  }
  return glGetError();
}

// A storage the GL refused: shrink the content until it fits the fallback storage and try again.
int private_framebuffer_texture_fallback(framebuffer_texture* t) {
  framebuffer_texture_shrink(&t->width, &t->height);
  t->padded_width = FRAMEBUFFER_TEXTURE_FALLBACK_SIZE;
  t->padded_height = FRAMEBUFFER_TEXTURE_FALLBACK_SIZE;
  bool shared = shares_upload_p(t);
  free(t->upload);
  t->upload = static_cast<uint8_t*>(calloc(padded_pixels(t), 4));
  if (shared) t->input = t->upload;
  if (!t->upload) return 0;
  private_framebuffer_texture_storage(t);
  return 1;
}

void private_framebuffer_texture_upload(framebuffer_texture* t) {
  int32_t n = t->width * t->height;
  if (t->bits_per_pixel == 16) {
    uint16_t* out = reinterpret_cast<uint16_t*>(t->upload);
    if (t->input_type == FRAMEBUFFER_INPUT_I32) rgb_i888_to_i565(out, reinterpret_cast<uint32_t*>(t->input), n);
    else rgb_3f_to_i565(out, reinterpret_cast<float*>(t->input), n);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t->width, t->height, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, t->upload);
    return;
  }
  if (t->input_type == FRAMEBUFFER_INPUT_FLOAT96)
    rgb_3f_to_i888(reinterpret_cast<uint32_t*>(t->upload), reinterpret_cast<float*>(t->input), n);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t->width, t->height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, t->upload);
}
}  // namespace

void framebuffer_texture_shrink(int32_t* width, int32_t* height) {
  // Both sides count: a tall, narrow content must fit the fallback storage as well as a wide one.
  while (*width > FRAMEBUFFER_TEXTURE_FALLBACK_SIZE || *height > FRAMEBUFFER_TEXTURE_FALLBACK_SIZE) {
    *width = int32_t(float(*width) * 0.70710677f);
    *height = int32_t(float(*height) * 0.70710677f);
  }
}

int framebuffer_texture_make(framebuffer_texture* t, int32_t input_type, int32_t width, int32_t height,
                             int32_t bits_per_pixel) {
  *t = framebuffer_texture{};
  t->input_type = input_type == FRAMEBUFFER_INPUT_I32 ? FRAMEBUFFER_INPUT_I32 : FRAMEBUFFER_INPUT_FLOAT96;
  t->width = width < 0 ? 0 : width;
  t->height = height < 0 ? 0 : height;
  t->bits_per_pixel = bits_per_pixel == 16 ? 16 : 32;
  t->padded_width = ceil_to_power_of_two(t->width);
  t->padded_height = ceil_to_power_of_two(t->height);
  t->upload = static_cast<uint8_t*>(calloc(padded_pixels(t), 4));
  if (shares_upload_p(t)) t->input = t->upload;
  else t->input = static_cast<uint8_t*>(calloc(padded_pixels(t), t->input_type == FRAMEBUFFER_INPUT_I32 ? 4 : 12));
  int ok = t->upload && t->input;
  glEnable(GL_TEXTURE_2D);
  glGenTextures(1, &t->name);
  glBindTexture(GL_TEXTURE_2D, t->name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (ok && private_framebuffer_texture_storage(t) == GL_INVALID_VALUE)
    ok = private_framebuffer_texture_fallback(t);
  opengl_trace(source_name, 110);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  glDisable(GL_TEXTURE_2D);
  if (!ok) {
    // Nothing to write into: the caller gets a null buffer and commits draw nothing.
    framebuffer_texture_delete(t);
    t->width = t->height = 0;
  }
  return ok;
}

void framebuffer_texture_define(framebuffer_texture* t, void** out_pixels, int32_t out_layout[4]) {
  *out_pixels = t->input;
  out_layout[0] = t->width;
  out_layout[1] = t->height;
  out_layout[2] = 1;
  out_layout[3] = t->width;
}

void framebuffer_texture_commit(framebuffer_texture* t) {
  if (!t->upload) return;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1.0, 1.0, 1.0, -1.0, -1.0, 1.0);  // y points down: the first row lands at the top
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, t->name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  double start = get_milliseconds();
  private_framebuffer_texture_upload(t);
  t->blit_time += get_milliseconds() - start;
  t->blit_count += 1;
  float u = float(t->width) / float(t->padded_width);
  float v = float(t->height) / float(t->padded_height);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glTranslatef(0.075f / float(viewport[2]), 0.075f / float(viewport[3]), 0.0f);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(-1.0f, -1.0f);
  glTexCoord2f(0.0f, v);
  glVertex2f(-1.0f, 1.0f);
  glTexCoord2f(u, v);
  glVertex2f(1.0f, 1.0f);
  glTexCoord2f(u, 0.0f);
  glVertex2f(1.0f, -1.0f);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}

void framebuffer_texture_delete(framebuffer_texture* t) {
  if (t->name) glDeleteTextures(1, &t->name);
  t->name = 0;
  if (t->input != t->upload) free(t->input);
  free(t->upload);
  t->input = nullptr;
  t->upload = nullptr;
}

int32_t framebuffer_texture_input_type(const framebuffer_texture* t) { return t->input_type; }

int32_t framebuffer_texture_bits_per_pixel(const framebuffer_texture* t) { return t->bits_per_pixel; }
