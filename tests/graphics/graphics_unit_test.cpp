// Pixel conversions and image decoding. (Texture storage and its coordinates show in the textures and
// framebuffers drawn under Xvfb.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "library/visuals/image.hpp"
#include "pure/visuals/pixels.hpp"
#include "toolset/visuals/image.hpp"

TEST(Pixels, ChannelsClampAndScale) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const float in[15] = {1.0f, 0.5f, 0.25f, 0.0f, 1.0f, 0.0f, 2.0f, -1.0f, 1e30f, inf, -inf, 0.5f, -nan, nan, -0.0f};
  uint32_t words[5] = {};
  rgb_3f_to_i888(words, in, 5);
  EXPECT_EQ(std::vector<uint32_t>(words, words + 5),
            (std::vector<uint32_t>{0x00FF7F3Fu, 0x0000FF00u, 0x00FF00FFu, 0x00FF007Fu, 0x0000FF00u}));
}

// (Copying images into texture storage shows in the title the acceptance test compares.)
TEST(Image, DecodesAPixmapAndRefusesGarbage) {
  // A 2 x 1 binary PPM decodes to red, green, blue, alpha bytes; garbage to a null image.
  const std::string path = "/tmp/kv-image-" + std::to_string(getpid()) + ".ppm";
  const std::string ppm("P6\n2 1\n255\n\xff\x00\x00\x00\x00\xff", 17);
  for (const std::string& bytes : {ppm, std::string("\x89PNG\r\n junk")}) {
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    image img;
    bool ok = image_make_from_file(&img, path.c_str());
    EXPECT_EQ(ok, bytes[0] == 'P');
    if (ok) {
      EXPECT_EQ(std::vector<uint8_t>(img.pixels, img.pixels + 8),
                (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255}));
      image_delete(&img);
    } else {
      EXPECT_EQ(img.pixels, nullptr);
      EXPECT_EQ(img.width, 0);
    }
  }
  unlink(path.c_str());
}
