// Sprites on a real GL: anchored at the top-left corner, stretched to the size, alpha blended.
#include <gtest/gtest.h>

#include "library/arch/opengl/sprite.hpp"
#include "tests/graphics/gl_context.hpp"

namespace {
class SpriteGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(shared_gl_context().ready());
    shared_gl_context().reset(0.0f, 0.0f, 0.5f);
  }
};


bool is_background(uint32_t p) { return (p & 0xFFFF00) == 0 && ((p & 0xFF) == 0x80 || (p & 0xFF) == 0x7F); }
}  // namespace

TEST_F(SpriteGl, DrawnFromItsTopLeftCornerStretchedToTheSize) {
  // 4 x 2 image; the last pixel is fully transparent.
  const uint32_t rgb[8] = {0xFF0000, 0x00FF00, 0xFFFF00, 0xFFFFFF, 0x00FFFF, 0xFF00FF, 0x404040, 0};
  uint8_t bytes[8 * 4];
  for (int i = 0; i < 8; ++i) {
    bytes[4 * i + 0] = uint8_t(rgb[i] >> 16);
    bytes[4 * i + 1] = uint8_t(rgb[i] >> 8);
    bytes[4 * i + 2] = uint8_t(rgb[i]);
    bytes[4 * i + 3] = i == 7 ? 0 : 255;
  }
  image img;
  image_make_borrow(&img, bytes, 4, 2);
  sprite s;
  sprite_make(&s, &img);
  EXPECT_EQ(s.material.flags, 3u);
  vector4 position, size;
  vector4_from_2d(&position, -0.5f, 0.5f);  // pixel column 16, row 16 of the 64 x 64 window
  vector4_from_2d(&size, 1.0f, 0.5f);       // 32 x 16 pixels: each image pixel becomes 8 x 8
  sprite_draw(&s, &position, &size);
  gl_context& gl = shared_gl_context();
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 4; ++i) {
      uint32_t p = gl.pixel(16 + 8 * i + 4, 16 + 8 * j + 4);
      if (j == 1 && i == 3) EXPECT_TRUE(is_background(p)) << std::hex << p;
      else EXPECT_EQ(p, rgb[4 * j + i]) << "image pixel " << i << "," << j;
    }
  // Just outside each edge the background shows.
  EXPECT_TRUE(is_background(gl.pixel(14, 20)));
  EXPECT_TRUE(is_background(gl.pixel(49, 20)));
  EXPECT_TRUE(is_background(gl.pixel(20, 14)));
  EXPECT_TRUE(is_background(gl.pixel(20, 33)));
  EXPECT_EQ(gl.pixel(16, 16), rgb[0]);
  EXPECT_EQ(gl.pixel(47, 16), rgb[3]);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  sprite_delete(&s);
  EXPECT_EQ(s.source, nullptr);
  EXPECT_EQ(bytes[0], 0xFF);  // the image stays with its owner
}

TEST_F(SpriteGl, NullImageDrawsNothingVisible) {
  image img;
  image_make_null(&img);
  sprite s;
  sprite_make(&s, &img);
  vector4 position, size;
  vector4_from_2d(&position, -1.0f, 1.0f);
  vector4_from_2d(&size, 2.0f, 2.0f);
  std::string printed = captured_stdout([&] { sprite_draw(&s, &position, &size); });
  EXPECT_EQ(printed, "");
  EXPECT_TRUE(is_background(shared_gl_context().pixel(32, 32))) << std::hex << shared_gl_context().pixel(32, 32);
  sprite_delete(&s);
}
