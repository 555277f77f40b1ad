// CPU-side pixel images (ARGB i8888, four bytes a pixel), owned or borrowed, and the rectangle copy between them.
#pragma once
#include <cstdint>

enum : int32_t { IMAGE_FORMAT_ARGB_I8888 = 0 };

// Decoded pixels sit in memory as red, green, blue, alpha bytes: the order textures upload unchanged.
struct image {
  int32_t format;
  uint8_t* pixels;        // first pixel of the first row
  int32_t width;          // pixels per row that hold content
  int32_t height;         // rows
  int32_t depth;          // always 1
  int32_t bytes_per_pixel;
  int32_t stride;         // distance between rows, in pixels
  int32_t owns_pixels;    // 1: image_delete frees the pixels with free()
};

void image_make_null(image* img);
// Format 0 at the given extent owning its pixels; the caller sets the pixel pointer (from malloc).
void image_make_argb_i8888_unallocated(image* img, int32_t width, int32_t height);
// Format 0 over pixels that stay with their owner.
void image_make_borrow(image* img, void* pixels, int32_t width, int32_t height);
void image_delete(image* img);
// out = (width, height).
void image_extent(const image* img, int32_t out[2]);
// Copies the overlapping top-left rectangle; nothing between different formats or onto itself.
void image_blit_to(const image* source, image* destination);
