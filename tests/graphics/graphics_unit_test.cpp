// Pixel conversions, image blits and decoding, and texture storage layouts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "library/arch/opengl/texture.hpp"
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

TEST(Image, BlitCopiesTheCommonCornerAndRefusesOtherFormats) {
  struct {
    int32_t sw, sh, dw, dh, dstride;
    std::vector<uint32_t> expected;  // source pixels numbered from 1
  } cases[] = {{5, 4, 3, 2, 3, {1, 2, 3, 6, 7, 8}}, {2, 2, 3, 3, 4, {1, 2, 0, 0, 3, 4, 0, 0, 0, 0, 0, 0}}};
  for (auto& c : cases) {
    std::vector<uint32_t> src(size_t(c.sw * c.sh)), dst(c.expected.size(), 0);
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint32_t(i + 1);
    image s, d;
    image_make_borrow(&s, src.data(), c.sw, c.sh);
    image_make_borrow(&d, dst.data(), c.dw, c.dh);
    d.stride = c.dstride;
    image_blit_to(&s, &d);
    EXPECT_EQ(dst, c.expected) << c.sw << "x" << c.sh;
    s.bytes_per_pixel = 2;
    std::fill(dst.begin(), dst.end(), 0u);
    image_blit_to(&s, &d);
    EXPECT_EQ(dst, std::vector<uint32_t>(dst.size(), 0u));
  }
  // A 2 x 1 binary PPM decodes to red, green, blue, alpha bytes; garbage and missing files to a null image.
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

// Storage is a power of two of at least 2 per side, the content in its corner; the extent picks the target.
TEST(TextureLayout, PowerOfTwoStorageAndTheTargetByExtent) {
  struct {
    int32_t n, extent[3], dimensions, padded[3];
    float uv_max[2];
  } cases[] = {{2, {640, 480, 0}, 2, {1024, 512, 1}, {0.625f, 0.9375f}}, {2, {64, 0, 0}, 1, {64, 1, 1}, {1, 1}},
               {3, {5, 3, 2}, 3, {8, 4, 2}, {0.625f, 0.75f}},          {3, {8, 0, 2}, 3, {8, 2, 2}, {1, 0.5f}},
               {2, {0, 0, 0}, 1, {2, 1, 1}, {0.5f, 1}},             {2, {-5, 3, 0}, 2, {2, 4, 1}, {0.5f, 0.75f}}};
  for (auto& c : cases) {
    texture_layout l;
    ASSERT_TRUE(texture_layout_of(&l, c.n, c.extent));
    EXPECT_EQ(l.dimensions, c.dimensions) << c.extent[0];
    for (int k = 0; k < c.dimensions; ++k) EXPECT_EQ(l.padded_extent[k], c.padded[k]) << c.extent[0] << " " << k;
    EXPECT_FLOAT_EQ(l.uv[1], c.uv_max[0]) << c.extent[0];
    if (c.dimensions > 1) { EXPECT_FLOAT_EQ(l.uv[3], c.uv_max[1]) << c.extent[0]; }
  }
  texture_layout l;
  const int32_t volume[3] = {4, 4, 3};
  EXPECT_FALSE(texture_layout_of(&l, 0, volume));
  EXPECT_FALSE(texture_layout_of(&l, 4, volume));
}
