// Materials on a real GL: blending, depth, filtering and wrap, the colour order, multisampling, shaders.
#include "library/arch/opengl/material.hpp"
#include "tests/graphics/gl_context.hpp"

namespace {
using MaterialGl = gl_test;

GLint integer(GLenum name) {
  GLint v = -1;
  glGetIntegerv(name, &v);
  return v;
}

material made(uint32_t flags, const float argb[4]) {
  material m;
  material_make(&m);
  material_commit_with(&m, flags, argb);
  return m;
}

// A full-window quad at depth z drawn under the material.
void quad_with(material m, float z) {
  material_on(&m);
  glBegin(GL_QUADS);
  glVertex3f(-1, -1, z), glVertex3f(1, -1, z), glVertex3f(1, 1, z), glVertex3f(-1, 1, z);
  glEnd();
  material_off(&m);
}

const float white[4] = {1, 1, 1, 1};
}  // namespace

TEST_F(MaterialGl, AlphaBlendingTurnsDepthOffWhileOn) {
  const float argb[4] = {0.5f, 1.0f, 0.0f, 0.0f};
  material m = made(MATERIAL_BLEND, argb);
  material_on(&m);
  EXPECT_EQ(m.flags, 10u);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(integer(GL_BLEND_SRC_ALPHA), GL_SRC_ALPHA);
  EXPECT_EQ(integer(GL_BLEND_DST_ALPHA), GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_FALSE);
  material_off(&m);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_TRUE);
  quad_with(m, 0);  // half red over black
  uint32_t p = gl().pixel(32, 32);
  EXPECT_NEAR(int(p >> 16), 128, 2);
  EXPECT_EQ(p & 0xFFFF, 0u);

  const float blue[4] = {1.0f, 0.0f, 0.0f, 1.0f};  // opaque blue added onto red: additive wins
  material add = made(MATERIAL_BLEND | MATERIAL_ADDITIVE, blue);
  gl().reset(1.0f, 0.0f, 0.0f);
  material_on(&add);
  EXPECT_EQ(integer(GL_BLEND_DST_RGB), GL_ONE);
  EXPECT_TRUE(add.flags & MATERIAL_NO_DEPTH);
  material_off(&add);
  quad_with(add, 0);
  EXPECT_EQ(gl().pixel(10, 10), 0xFF00FFu);
}

TEST_F(MaterialGl, OpaqueMaterialsTestDepth) {
  const float green[4] = {1, 0, 1, 0}, red[4] = {1, 1, 0, 0};
  material near = made(0, green);
  EXPECT_EQ(near.flags, 0u);
  material_on(&near);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  material_off(&near);
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  quad_with(near, -0.5f);
  quad_with(made(0, red), 0.5f);  // behind the green one: hidden
  EXPECT_EQ(gl().pixel(32, 32), 0x00FF00u);
  quad_with(made(MATERIAL_NO_DEPTH, red), 0.5f);  // depth test off: drawn although behind
  EXPECT_EQ(gl().pixel(32, 32), 0xFF0000u);
}

TEST_F(MaterialGl, ColourIsGivenAlphaFirstAndStoredAlphaLast) {
  const float argb[4] = {0.25f, 0.5f, 0.75f, 1.0f};
  material m = made(0, argb);
  EXPECT_EQ(m.colour[0], 0.5f);
  EXPECT_EQ(m.colour[1], 0.75f);
  EXPECT_EQ(m.colour[2], 1.0f);
  EXPECT_EQ(m.colour[3], 0.25f);
  GLfloat current[4];
  auto current_after_on = [&] {
    material_on(&m);
    glGetFloatv(GL_CURRENT_COLOR, current);
    material_off(&m);
  };
  current_after_on();
  EXPECT_FLOAT_EQ(current[0], 0.5f);
  EXPECT_FLOAT_EQ(current[3], 0.25f);
  const float other[4] = {1, 0, 0, 0};
  material_commit_with(&m, MATERIAL_KEEP_COLOUR, other);
  EXPECT_EQ(m.colour[0], 0.5f);
  EXPECT_EQ(m.colour[3], 0.25f);
  glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
  current_after_on();
  EXPECT_FLOAT_EQ(current[0], 0.1f);  // the current colour is left alone
  EXPECT_FLOAT_EQ(current[3], 0.4f);
}

TEST_F(MaterialGl, FilteringAndWrapLandOnTheBoundTexturesAndMultisamplingIsOffWhileOn) {
  GLuint names[2];
  glGenTextures(2, names);
  glBindTexture(GL_TEXTURE_2D, names[0]);
  glBindTexture(GL_TEXTURE_1D, names[1]);
  auto parameter = [](GLenum target, GLenum name) {
    GLint v = 0;
    glGetTexParameteriv(target, name, &v);
    return v;
  };
  quad_with(made(MATERIAL_NEAREST | MATERIAL_REPEAT, white), 0);
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
  EXPECT_EQ(parameter(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T), GL_REPEAT);
  quad_with(made(0, white), 0);
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(parameter(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  glDeleteTextures(2, names);

  glEnable(GL_MULTISAMPLE);
  glEnable(GL_CULL_FACE);
  material m = made(MATERIAL_NO_MULTISAMPLE, white);
  material_on(&m);
  EXPECT_FALSE(glIsEnabled(GL_MULTISAMPLE));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  material_off(&m);
  EXPECT_TRUE(glIsEnabled(GL_MULTISAMPLE));
}

TEST_F(MaterialGl, AMissingShaderIsSwitchedOffForGood) {
  material m = made(MATERIAL_SHADER, white);
  m.program = 4242;  // no such program
  EXPECT_EQ(captured_stdout([&] { material_on(&m); }), "ERROR: Shader not loaded, deactivating\n");
  EXPECT_FALSE(m.flags & MATERIAL_SHADER);
  material_off(&m);
  EXPECT_EQ(captured_stdout([&] { material_on(&m); }), "");
  material_off(&m);
  EXPECT_EQ(integer(GL_CURRENT_PROGRAM), 0);
  material_delete(&m);
  EXPECT_EQ(m.flags, 0u);
}
