// Pixel conversions and the raster texture's shrink arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "library/arch/opengl/framebuffer_texture.hpp"
#include "pure/visuals/pixels.hpp"

TEST(Pixels, WordsTo565KeepTheTopBitsOfEachChannel) {
  const uint32_t in[4] = {0x00FF8040u, 0x00FFFFFFu, 0x00000000u, 0xFF070307u};
  uint16_t out[4] = {};
  rgb_i888_to_i565(out, in, 4);
  EXPECT_EQ(out[0], 0xFC08);
  EXPECT_EQ(out[1], 0xFFFF);
  EXPECT_EQ(out[2], 0x0000);
  EXPECT_EQ(out[3], 0x0000);  // bits below the kept ones and the top byte vanish
}

TEST(Pixels, FloatsToWordsAndTo565) {
  const float in[6] = {1.0f, 0.5f, 0.25f, 0.0f, 1.0f, 0.0f};
  uint32_t words[2] = {};
  uint16_t shorts[2] = {};
  rgb_3f_to_i888(words, in, 2);
  rgb_3f_to_i565(shorts, in, 2);
  EXPECT_EQ(words[0], 0x00FF7F3Fu);
  EXPECT_EQ(words[1], 0x0000FF00u);
  EXPECT_EQ(shorts[0], 0xFBE7);
  EXPECT_EQ(shorts[1], 0x07E0);
}

TEST(Pixels, OutOfRangeAndNonFiniteChannelsClamp) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float in[9] = {2.0f, -1.0f, 1e30f, inf, -inf, 0.5f, -nan, nan, -0.0f};
  uint32_t words[3] = {};
  uint16_t shorts[3] = {};
  rgb_3f_to_i888(words, in, 3);
  rgb_3f_to_i565(shorts, in, 3);
  EXPECT_EQ(words[0], 0x00FF00FFu);
  EXPECT_EQ(words[1], 0x00FF007Fu);
  EXPECT_EQ(words[2], 0x0000FF00u);  // NaN goes to its sign's side, -0 is 0
  EXPECT_EQ(shorts[0], 0xF81F);
  EXPECT_EQ(shorts[1], (31 << 11) | 15);
  EXPECT_EQ(shorts[2], 0x07E0);
}

TEST(FramebufferTextureShrink, RefusedContentShrinksToTheFallbackStorage) {
  int32_t w = 2048, h = 2048;
  framebuffer_texture_shrink(&w, &h);
  EXPECT_EQ(w, 511);
  EXPECT_EQ(h, 511);
  w = 512, h = 300;
  framebuffer_texture_shrink(&w, &h);
  EXPECT_EQ(w, 512);  // already fits: untouched
  EXPECT_EQ(h, 300);
  w = 16, h = 40000;  // tall and narrow fits too
  framebuffer_texture_shrink(&w, &h);
  EXPECT_LE(w, 512);
  EXPECT_LE(h, 512);
  EXPECT_GE(h, 256);
}
