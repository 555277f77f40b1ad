// Textures and an empty frame drawn on Mesa under Xvfb into a 64 x 64 corner of the shared test
// window and read back.
#include <gtest/gtest.h>

#include "library/arch/opengl/frame.hpp"
#include "library/arch/opengl/texture.hpp"
#include "tests/visuals/glut_window.hpp"

namespace {
constexpr int side = 64;

class Gl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(glut_window::shared().ready());
    reset(0, 0, 0);
  }
  static void reset(float r, float g, float b) {
    glViewport(0, 0, side, side);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    for (GLenum cap : {GL_BLEND, GL_DEPTH_TEST, GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_3D, GL_SCISSOR_TEST})
      glDisable(cap);
    glColor4f(1, 1, 1, 1);
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  // 0xRRGGBB of the back buffer at (x, y) of the corner, y counted from its top row.
  static uint32_t pixel(int x, int y) {
    uint8_t p[4] = {};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, side - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
  }
};

uint32_t rgba_bytes(uint32_t rgb) { return 0xFF000000u | ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF); }

void quad(float z) {
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0), glVertex3f(-1, 1, z);
  glTexCoord2f(0, 1), glVertex3f(-1, -1, z);
  glTexCoord2f(1, 1), glVertex3f(1, -1, z);
  glTexCoord2f(1, 0), glVertex3f(1, 1, z);
  glEnd();
}
}  // namespace

// 3 x 3 texels in 4 x 4 storage drawn with the storage's coordinates: the padding repeats the start of
// the content. Storage that the driver refuses leaves no texture.
TEST_F(Gl, TexturesStoreContentInPowerOfTwoStorageAndRefuseWhatTheDriverRefuses) {
  const uint32_t colours[9] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF,
                               0xFF00FF, 0x808080, 0xFFFFFF, 0x804000};
  texture t;
  texture_make(&t);
  void* pixels = nullptr;
  const int32_t extent[2] = {3, 3}, huge[2] = {1 << 20, 4};
  texture_define(&t, TEXTURE_NO_MIPMAPS, &pixels, 2, extent);
  ASSERT_NE(pixels, nullptr);
  for (int i = 0; i < 9; ++i) static_cast<uint32_t*>(pixels)[i] = rgba_bytes(colours[i]);
  texture_commit(&t);
  EXPECT_TRUE(t.alive);
  texture_on(&t);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  quad(0);
  texture_off(&t);
  const int storage[4][4] = {{0, 1, 2, 0}, {3, 4, 5, 1}, {6, 7, 8, 2}, {0, 1, 2, 0}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pixel(16 * x + 8, 16 * y + 8), colours[storage[y][x]]) << x << "," << y;
  texture_delete(&t);
  texture_make(&t);
  texture_define(&t, 0, &pixels, 2, huge);
  EXPECT_EQ(pixels, nullptr);
  EXPECT_FALSE(t.alive);
}

// (Materials show in the visuals' fading and the widgets drawn under Xvfb.)
TEST_F(Gl, AFrameThatShowsNothingIsClearedToBlack) {
  reset(0, 0, 0.5f);
  frame_stats stats{};
  frame_hooks_array hooks{};
  display_frame frame;
  frame_make(&frame, nullptr, 0.0, &stats, &hooks);
  display_frame_commit_none(&frame);
  EXPECT_EQ(pixel(10, 10), 0u);
}
