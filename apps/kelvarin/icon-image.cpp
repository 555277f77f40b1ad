// Makes the desktop icon at build time: the middle square of the title image, box-filtered to 256 x 256.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int icon_size = 256;

// Each icon pixel is the mean of the square of title pixels it covers.
std::vector<unsigned char> private_shrink(const unsigned char* rgb, int width, int height) {
  int side = width < height ? width : height, left = (width - side) / 2, top = (height - side) / 2;
  std::vector<unsigned char> icon(size_t(icon_size) * icon_size * 3);
  for (int y = 0; y < icon_size; ++y)
    for (int x = 0; x < icon_size; ++x) {
      int x0 = left + x * side / icon_size, x1 = left + (x + 1) * side / icon_size;
      int y0 = top + y * side / icon_size, y1 = top + (y + 1) * side / icon_size;
      for (int c = 0; c < 3; ++c) {
        long sum = 0, n = 0;
        for (int sy = y0; sy < y1; ++sy)
          for (int sx = x0; sx < x1; ++sx, ++n) sum += rgb[(size_t(sy) * width + sx) * 3 + c];
        icon[(size_t(y) * icon_size + x) * 3 + c] = (unsigned char)(n ? sum / n : 0);
      }
    }
  return icon;
}

}  // namespace

// icon-image TITLE.jpg ICON.png
int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s title.jpg icon.png\n", argv[0]);
    return 2;
  }
  int width = 0, height = 0, channels = 0;
  unsigned char* title = stbi_load(argv[1], &width, &height, &channels, 3);
  if (!title || width < icon_size || height < icon_size) {
    std::fprintf(stderr, "cannot read a title of at least %d x %d pixels from %s\n", icon_size, icon_size, argv[1]);
    stbi_image_free(title);
    return 1;
  }
  std::vector<unsigned char> icon = private_shrink(title, width, height);
  stbi_image_free(title);
  return stbi_write_png(argv[2], icon_size, icon_size, 3, icon.data(), icon_size * 3) ? 0 : 1;
}
