// Raster frame textures on a real GL: every input type and depth drawn and read back, the refused storage.
#include <cstring>

#include "library/arch/opengl/framebuffer_texture.hpp"
#include "tests/graphics/gl_context.hpp"

namespace {
class RasterGl : public gl_test, public ::testing::WithParamInterface<std::tuple<int, int>> {};

// Colours exact at 16 bits: quadrants red, green, blue, white from the top left, clockwise from there.
constexpr uint32_t quadrant_colour[4] = {0xFF0000, 0x00FF00, 0xFFFFFF, 0x0000FF};

int quadrant(int x, int y, int w, int h) { return (y < h / 2 ? 0 : 3) + (x < w / 2 ? 0 : (y < h / 2 ? 1 : -1)); }

void fill(void* pixels, int input_type, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t c = quadrant_colour[quadrant(x, y, w, h)];
      size_t i = size_t(y) * size_t(w) + size_t(x);
      if (input_type == FRAMEBUFFER_INPUT_I32) {
        static_cast<uint32_t*>(pixels)[i] = c;
      } else {
        for (int k = 0; k < 3; ++k) static_cast<float*>(pixels)[3 * i + k] = float((c >> (16 - 8 * k)) & 0xFF) / 255.0f;
      }
    }
}
}  // namespace

TEST_P(RasterGl, FirstRowAtTheTopAndEveryQuadrantInItsColour) {
  auto [input_type, bits] = GetParam();
  gl().reset(0.2f, 0.2f, 0.2f);
  framebuffer_texture t;
  ASSERT_TRUE(framebuffer_texture_make(&t, input_type, gl().width(), gl().height(), bits));
  EXPECT_EQ(framebuffer_texture_input_type(&t), input_type);
  EXPECT_EQ(framebuffer_texture_bits_per_pixel(&t), bits);
  EXPECT_EQ(t.input == t.upload, input_type == FRAMEBUFFER_INPUT_I32 && bits == 32);
  void* pixels = nullptr;
  int32_t layout[4];
  framebuffer_texture_define(&t, &pixels, layout);
  ASSERT_NE(pixels, nullptr);
  const int32_t expected_layout[4] = {gl().width(), gl().height(), 1, gl().width()};
  EXPECT_EQ(0, std::memcmp(layout, expected_layout, sizeof layout));
  fill(pixels, input_type, layout[0], layout[1]);
  EXPECT_EQ(captured_stdout([&] {
              framebuffer_texture_commit(&t);
              framebuffer_texture_commit(&t);
            }),
            "");
  EXPECT_EQ(t.blit_count, 2);
  EXPECT_GE(t.blit_time, 0.0);
  std::vector<uint32_t> shown = gl().pixels();
  int wrong = 0, w = gl().width(), h = gl().height();
  for (int y = 2; y < h - 2; ++y)
    for (int x = 2; x < w - 2; ++x) {
      if ((x >= w / 2 - 2 && x <= w / 2 + 1) || (y >= h / 2 - 2 && y <= h / 2 + 1)) continue;  // filtered seams
      wrong += shown[size_t(y * w + x)] != quadrant_colour[quadrant(x, y, w, h)];
    }
  EXPECT_EQ(wrong, 0);
  framebuffer_texture_delete(&t);
  EXPECT_EQ(t.upload, nullptr);
  EXPECT_EQ(t.input, nullptr);
}

INSTANTIATE_TEST_SUITE_P(InputTypesAndDepths, RasterGl,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(16, 32)));

TEST_F(gl_test, RefusedRasterStorageShrinksTheContentOntoTheFallback) {
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  for (auto [w0, h0] : {std::pair{largest + 1, 300}, std::pair{16, largest + 1}}) {
    int32_t w = w0, h = h0;
    framebuffer_texture_shrink(&w, &h);
    framebuffer_texture t;
    ASSERT_TRUE(framebuffer_texture_make(&t, FRAMEBUFFER_INPUT_I32, w0, h0, 32));
    EXPECT_EQ(t.padded_width, 512);
    EXPECT_EQ(t.padded_height, 512);
    EXPECT_EQ(t.width, w);
    EXPECT_EQ(t.height, h);
    EXPECT_EQ(t.input, t.upload);  // the shared buffer was replaced for both
    void* pixels = nullptr;
    int32_t layout[4];
    framebuffer_texture_define(&t, &pixels, layout);
    // Every pixel the layout promises can be written (the sanitizer build checks the bounds).
    memset(pixels, 0xFF, size_t(layout[0]) * size_t(layout[1]) * 4);
    EXPECT_EQ(captured_stdout([&] { framebuffer_texture_commit(&t); }), "");
    // A tall, narrow content keeps its proportions and so loses its width; a wide one still shows.
    if (t.width > 0) {
      EXPECT_EQ(gl().pixel(4, 4), 0xFFFFFFu);
    }
    framebuffer_texture_delete(&t);
  }
}
