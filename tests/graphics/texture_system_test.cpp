// Textures on a real GL: storage sizes, targets, refusals, the error trace and the padding fill.
#include "library/arch/opengl/debug.hpp"
#include "library/arch/opengl/texture.hpp"
#include "tests/graphics/gl_context.hpp"

namespace {
GLint level0(GLenum target, GLenum parameter) {
  GLint v = -1;
  glGetTexLevelParameteriv(target, 0, parameter, &v);
  return v;
}

uint32_t rgba_bytes(uint32_t rgb) {  // 0xRRGGBB -> memory bytes red, green, blue, 255 as a little-endian word
  return 0xFF000000u | ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

using TextureGl = gl_test;
}  // namespace

TEST_F(TextureGl, ContentOf640x480IsStoredIn1024x512) {
  texture t;
  texture_make(&t);
  void* pixels = nullptr;
  const int32_t extent[2] = {640, 480};
  texture_define(&t, 0, &pixels, 2, extent);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(t.target, GLenum(GL_TEXTURE_2D));
  static_cast<uint8_t*>(pixels)[4 * 640 * 480 - 1] = 7;  // the buffer holds every content texel
  texture_commit(&t);
  EXPECT_EQ(t.pixels, nullptr);
  glBindTexture(GL_TEXTURE_2D, t.name);
  EXPECT_EQ(level0(GL_TEXTURE_2D, GL_TEXTURE_WIDTH), 1024);
  EXPECT_EQ(level0(GL_TEXTURE_2D, GL_TEXTURE_HEIGHT), 512);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  texture_delete(&t);
  EXPECT_FALSE(glIsTexture(t.name));
}

TEST_F(TextureGl, TargetFollowsTheExtent) {
  texture t;
  texture_make(&t);
  void* pixels = nullptr;
  const int32_t flat[2] = {100, 0};
  texture_define(&t, 0, &pixels, 2, flat);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(t.target, GLenum(GL_TEXTURE_1D));
  texture_commit(&t);
  glBindTexture(GL_TEXTURE_1D, t.name);
  EXPECT_EQ(level0(GL_TEXTURE_1D, GL_TEXTURE_WIDTH), 128);

  const int32_t volume[3] = {5, 3, 2};
  texture_define(&t, TEXTURE_NO_MIPMAPS, &pixels, 3, volume);  // defining again replaces the storage
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(t.target, GLenum(GL_TEXTURE_3D));
  texture_commit(&t);
  glBindTexture(GL_TEXTURE_3D, t.name);
  EXPECT_EQ(level0(GL_TEXTURE_3D, GL_TEXTURE_WIDTH), 8);
  EXPECT_EQ(level0(GL_TEXTURE_3D, GL_TEXTURE_HEIGHT), 4);
  EXPECT_EQ(level0(GL_TEXTURE_3D, GL_TEXTURE_DEPTH), 2);
  float c[3] = {1, 1, 1};
  texture_uv(&t, c);
  EXPECT_FLOAT_EQ(c[0], 5.0f / 8.0f);
  EXPECT_FLOAT_EQ(c[1], 3.0f / 4.0f);
  EXPECT_FLOAT_EQ(c[2], 1.0f);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  texture_delete(&t);
}

TEST_F(TextureGl, UnknownKindAndRefusedStorageLeaveNoTexture) {
  texture t;
  texture_make(&t);
  void* pixels = reinterpret_cast<void*>(1);
  const int32_t extent[3] = {4, 4, 4};
  texture_define(&t, 0, &pixels, 4, extent);
  EXPECT_EQ(pixels, nullptr);
  EXPECT_FALSE(t.alive);
  EXPECT_EQ(captured_stdout([&] { texture_on(&t); }), "texture is undefined\n");

  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  texture u;
  texture_make(&u);
  const int32_t huge[2] = {largest * 2, 4};
  std::string printed = captured_stdout([&] { texture_define(&u, 0, &pixels, 2, huge); });
  EXPECT_EQ(printed, "ERROR: library/arch/opengl/texture:155 GL_INVALID_VALUE: Numeric argument out of range.\n");
  EXPECT_EQ(pixels, nullptr);
  EXPECT_FALSE(u.alive);
  EXPECT_EQ(u.pixels, nullptr);
  texture_commit(&u);  // nothing to upload: no GL error, no crash
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureGl, PaddingRepeatsTheStartOfTheContent) {
  // 3 x 3 content in 4 x 4 storage; drawn over the whole 64 x 64 window with the full storage's
  // coordinates and nearest filtering, each texel covers 16 x 16 pixels.
  const uint32_t colours[9] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF,
                               0x808080, 0xFFFFFF, 0x804000};
  texture t;
  texture_make(&t);
  void* pixels = nullptr;
  const int32_t extent[2] = {3, 3};
  texture_define(&t, TEXTURE_NO_MIPMAPS, &pixels, 2, extent);
  ASSERT_NE(pixels, nullptr);
  for (int i = 0; i < 9; ++i) static_cast<uint32_t*>(pixels)[i] = rgba_bytes(colours[i]);
  texture_commit(&t);
  texture_on(&t);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0), glVertex2f(-1, 1);
  glTexCoord2f(0, 1), glVertex2f(-1, -1);
  glTexCoord2f(1, 1), glVertex2f(1, -1);
  glTexCoord2f(1, 0), glVertex2f(1, 1);
  glEnd();
  texture_off(&t);
  // Column 3 holds the first row read as a column; row 3 the first row; the corner the first texel.
  const int storage[4][4] = {{0, 1, 2, 0}, {3, 4, 5, 1}, {6, 7, 8, 2}, {0, 1, 2, 0}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(gl().pixel(16 * x + 8, 16 * y + 8), colours[storage[y][x]]) << "texel " << x << "," << y;
  texture_delete(&t);
}

TEST(OpenglDebug, MessagesCarryTheSourceAndLine) {
  EXPECT_EQ(captured_stdout([] { opengl_print_error("library/arch/opengl/material", 79, 0); }), "");
  EXPECT_EQ(captured_stdout([] { opengl_print_error("a/b", 12, 1283); }),
            "ERROR: a/b:12 GL_STACK_OVERFLOW: Function would cause a stack overflow. \n");
  const char* messages[] = {"GL_INVALID_ENUM: GLenum argument out of range.", nullptr,
                            "GL_INVALID_OPERATION: Operation illegal in current state.", nullptr,
                            "GL_STACK_UNDERFLOW: Function would cause a stack underflow. ",
                            "GL_OUT_OF_MEMORY: Not enough memory left",
                            "GL_INVALID_FRAMEBUFFER_OPERATION_EXT: FBO EXT: Invalid operation.", "GL: Unknown error."};
  for (GLenum e = 1280; e <= 1287; ++e) {
    if (messages[e - 1280]) {
      EXPECT_STREQ(opengl_error_message(e), messages[e - 1280]) << e;
    }
  }
}

TEST_F(TextureGl, TraceReportsAPendingError) {
  glEnable(0x1234);  // not a capability: GL_INVALID_ENUM
  std::string printed = captured_stdout([] { opengl_trace("library/arch/opengl/frame", 171); });
  EXPECT_EQ(printed, "ERROR: library/arch/opengl/frame:171 GL_INVALID_ENUM: GLenum argument out of range.\n");
  EXPECT_EQ(captured_stdout([] { opengl_trace("x", 1); }), "");  // the error was consumed
}
