// Image records and the blit that copies the rectangle two images share.
#include "toolset/visuals/image.hpp"

#include <cstdlib>
#include <cstring>

void image_make_null(image* img) { *img = image{}; }

void image_make_argb_i8888_unallocated(image* img, int32_t width, int32_t height) {
  *img = image{IMAGE_FORMAT_ARGB_I8888, nullptr, width, height, 1, 4, width, 1};
}

void image_make_borrow(image* img, void* pixels, int32_t width, int32_t height) {
  *img = image{IMAGE_FORMAT_ARGB_I8888, static_cast<uint8_t*>(pixels), width, height, 1, 4, width, 0};
}

void image_delete(image* img) {
  if (img->owns_pixels) free(img->pixels);
  image_make_null(img);
}

void image_extent(const image* img, int32_t out[2]) {
  out[0] = img->width;
  out[1] = img->height;
}

void image_blit_to(const image* source, image* destination) {
  if (source->format != destination->format || source->bytes_per_pixel != destination->bytes_per_pixel) return;
  if (source->pixels == destination->pixels || !source->pixels || !destination->pixels) return;
  int32_t columns = source->width < destination->width ? source->width : destination->width;
  int32_t rows = source->height < destination->height ? source->height : destination->height;
  if (columns <= 0 || rows <= 0) return;
  size_t bpp = size_t(source->bytes_per_pixel);
  if (columns == source->stride && columns == destination->stride) {
    memcpy(destination->pixels, source->pixels, bpp * size_t(columns) * size_t(rows));
    return;
  }
  const uint8_t* from = source->pixels;
  uint8_t* to = destination->pixels;
  for (int32_t row = 0; row < rows; ++row) {
    memcpy(to, from, bpp * size_t(columns));
    from += bpp * size_t(source->stride);
    to += bpp * size_t(destination->stride);
  }
}
