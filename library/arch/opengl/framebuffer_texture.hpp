// Raster frame textures: a CPU pixel buffer converted to the display's depth, uploaded and drawn over the window.
#pragma once
#include <cstdint>

enum : int32_t {
  FRAMEBUFFER_INPUT_FLOAT96 = 0,  // three floats red, green, blue (0 to 1) a pixel
  FRAMEBUFFER_INPUT_I32 = 1,      // one word 0x00RRGGBB a pixel
};

// Largest storage side after the GL refused a storage; content shrinks until it fits.
constexpr int32_t FRAMEBUFFER_TEXTURE_FALLBACK_SIZE = 512;

struct framebuffer_texture {
  int32_t input_type;
  int32_t width;
  int32_t height;
  int32_t bits_per_pixel;  // 16 or 32
  uint32_t name;           // GL 2D texture
  int32_t padded_width;
  int32_t padded_height;
  uint8_t* upload;         // 4 x padded width x padded height bytes, in the texture's format
  uint8_t* input;          // where the caller writes; the upload buffer itself for 0x00RRGGBB at 32 bits
  double blit_time;        // milliseconds converting and uploading, summed; reset by the display statistics
  int32_t blit_count;      // commits since the last reset
};

// Content shrunk by one over the square root of two per step until both sides fit the fallback storage.
void framebuffer_texture_shrink(int32_t* width, int32_t* height);

// Returns 1, or 0 when a buffer could not be allocated (the texture then holds nothing).
int framebuffer_texture_make(framebuffer_texture* t, int32_t input_type, int32_t width, int32_t height,
                             int32_t bits_per_pixel);
// out_layout = (width, height, 1, stride in pixels = width).
void framebuffer_texture_define(framebuffer_texture* t, void** out_pixels, int32_t out_layout[4]);
// Converts, uploads and draws over the whole viewport, first row at the top.
void framebuffer_texture_commit(framebuffer_texture* t);
void framebuffer_texture_delete(framebuffer_texture* t);
int32_t framebuffer_texture_input_type(const framebuffer_texture* t);
int32_t framebuffer_texture_bits_per_pixel(const framebuffer_texture* t);
