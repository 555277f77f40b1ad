// Raster frame textures on a real GL: every input type and depth drawn and read back, the refused storage.
#include <gtest/gtest.h>

#include <cstring>

#include "library/arch/opengl/framebuffer_texture.hpp"
#include "tests/graphics/gl_context.hpp"

namespace {
class RasterGl : public ::testing::TestWithParam<std::tuple<int, int>> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(shared_gl_context().ready());
    shared_gl_context().reset(0.2f, 0.2f, 0.2f);
  }
};

class RasterRefusedGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(shared_gl_context().ready());
    shared_gl_context().reset();
  }
};

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
        float* p = static_cast<float*>(pixels) + 3 * i;
        p[0] = float((c >> 16) & 0xFF) / 255.0f;
        p[1] = float((c >> 8) & 0xFF) / 255.0f;
        p[2] = float(c & 0xFF) / 255.0f;
      }
    }
}
}  // namespace

TEST_P(RasterGl, FirstRowAtTheTopAndEveryQuadrantInItsColour) {
  auto [input_type, bits] = GetParam();
  gl_context& gl = shared_gl_context();
  framebuffer_texture t;
  ASSERT_TRUE(framebuffer_texture_make(&t, input_type, gl.width(), gl.height(), bits));
  EXPECT_EQ(framebuffer_texture_input_type(&t), input_type);
  EXPECT_EQ(framebuffer_texture_bits_per_pixel(&t), bits);
  EXPECT_EQ(t.input == t.upload, input_type == FRAMEBUFFER_INPUT_I32 && bits == 32);
  void* pixels = nullptr;
  int32_t layout[4];
  framebuffer_texture_define(&t, &pixels, layout);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(layout[0], gl.width());
  EXPECT_EQ(layout[1], gl.height());
  EXPECT_EQ(layout[2], 1);
  EXPECT_EQ(layout[3], gl.width());
  fill(pixels, input_type, layout[0], layout[1]);
  std::string printed = captured_stdout([&] {
    framebuffer_texture_commit(&t);
    framebuffer_texture_commit(&t);
  });
  EXPECT_EQ(printed, "");
  EXPECT_EQ(t.blit_count, 2);
  EXPECT_GE(t.blit_time, 0.0);
  std::vector<uint32_t> shown = gl.pixels();
  int wrong = 0;
  for (int y = 2; y < gl.height() - 2; ++y)
    for (int x = 2; x < gl.width() - 2; ++x) {
      if (x >= gl.width() / 2 - 2 && x <= gl.width() / 2 + 1) continue;  // linear filtering at the seams
      if (y >= gl.height() / 2 - 2 && y <= gl.height() / 2 + 1) continue;
      wrong += shown[size_t(y * gl.width() + x)] != quadrant_colour[quadrant(x, y, gl.width(), gl.height())];
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(gl.pixel(8, 8), quadrant_colour[0]);
  EXPECT_EQ(gl.pixel(56, 8), quadrant_colour[1]);
  EXPECT_EQ(gl.pixel(56, 56), quadrant_colour[2]);
  EXPECT_EQ(gl.pixel(8, 56), quadrant_colour[3]);
  framebuffer_texture_delete(&t);
  EXPECT_EQ(t.upload, nullptr);
  EXPECT_EQ(t.input, nullptr);
}

INSTANTIATE_TEST_SUITE_P(InputTypesAndDepths, RasterGl,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Values(16, 32)));

TEST_F(RasterRefusedGl, RefusedStorageShrinksTheContentOntoTheFallback) {
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  struct {
    int32_t w, h;
  } cases[] = {{largest + 1, 300}, {16, largest + 1}};
  for (auto c : cases) {
    int32_t w = c.w, h = c.h;
    framebuffer_texture_shrink(&w, &h);
    framebuffer_texture t;
    std::string printed;
    ASSERT_TRUE(framebuffer_texture_make(&t, FRAMEBUFFER_INPUT_I32, c.w, c.h, 32));
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
    printed = captured_stdout([&] { framebuffer_texture_commit(&t); });
    EXPECT_EQ(printed, "");
    // A tall, narrow content keeps its proportions and so loses its width; a wide one still shows.
    if (w > 0) {
      EXPECT_EQ(shared_gl_context().pixel(4, 4), 0xFFFFFFu);
    }
    framebuffer_texture_delete(&t);
  }
}
