// Sprites on a real GL: anchored at the top-left corner, stretched to the size, alpha blended.
#include "library/arch/opengl/sprite.hpp"
#include "tests/graphics/gl_context.hpp"

namespace {
bool is_background(uint32_t p) { return (p & 0xFFFF00) == 0 && ((p & 0xFF) == 0x80 || (p & 0xFF) == 0x7F); }

void draw(sprite* s, float x, float y, float w, float h) {
  vector4 position, size;
  vector4_from_2d(&position, x, y);
  vector4_from_2d(&size, w, h);
  sprite_draw(s, &position, &size);
}
}  // namespace

TEST_F(gl_test, SpriteDrawnFromItsTopLeftCornerStretchedToTheSize) {
  gl().reset(0.0f, 0.0f, 0.5f);
  // 4 x 2 image; the last pixel is fully transparent.
  const uint32_t rgb[8] = {0xFF0000, 0x00FF00, 0xFFFF00, 0xFFFFFF, 0x00FFFF, 0xFF00FF, 0x404040, 0};
  uint8_t bytes[8 * 4];
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 4; ++k) bytes[4 * i + k] = k < 3 ? uint8_t(rgb[i] >> (16 - 8 * k)) : (i == 7 ? 0 : 255);
  image img;
  image_make_borrow(&img, bytes, 4, 2);
  sprite s;
  sprite_make(&s, &img);
  EXPECT_EQ(s.material.flags, 3u);
  draw(&s, -0.5f, 0.5f, 1.0f, 0.5f);  // from pixel (16, 16), 32 x 16 pixels: each image pixel is 8 x 8
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 4; ++i) {
      uint32_t p = gl().pixel(16 + 8 * i + 4, 16 + 8 * j + 4);
      if (j == 1 && i == 3) EXPECT_TRUE(is_background(p)) << std::hex << p;
      else EXPECT_EQ(p, rgb[4 * j + i]) << "image pixel " << i << "," << j;
    }
  // Exactly from the corner pixel to the last column; just outside each edge the background shows.
  EXPECT_EQ(gl().pixel(16, 16), rgb[0]);
  EXPECT_EQ(gl().pixel(47, 16), rgb[3]);
  const int outside[4][2] = {{14, 20}, {49, 20}, {20, 14}, {20, 33}};
  for (auto& o : outside) EXPECT_TRUE(is_background(gl().pixel(o[0], o[1]))) << o[0] << "," << o[1];
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  sprite_delete(&s);
  EXPECT_EQ(s.source, nullptr);
  EXPECT_EQ(bytes[0], 0xFF);  // the image stays with its owner

  image none;
  image_make_null(&none);
  sprite_make(&s, &none);
  EXPECT_EQ(captured_stdout([&] { draw(&s, -1.0f, 1.0f, 2.0f, 2.0f); }), "");  // a null image draws nothing
  EXPECT_TRUE(is_background(gl().pixel(8, 48))) << std::hex << gl().pixel(8, 48);
  sprite_delete(&s);
}
