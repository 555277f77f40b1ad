// Decodes image files with stb_image; the decoder's buffer is later released by image_delete with free().
#include "library/visuals/image.hpp"

#include <stb_image.h>

int image_make_from_file(image* img, const char* path) {
  image_make_null(img);
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = path ? stbi_load(path, &width, &height, &channels, 4) : nullptr;
  if (!pixels) return 0;
  image_make_argb_i8888_unallocated(img, width, height);
  img->pixels = pixels;
  return 1;
}
