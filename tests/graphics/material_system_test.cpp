// Materials on a real GL: blending, depth, filtering and wrap, the colour order, multisampling, shaders.
#include <gtest/gtest.h>

#include "library/arch/opengl/material.hpp"
#include "tests/graphics/gl_context.hpp"

namespace {
class MaterialGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(shared_gl_context().ready());
    shared_gl_context().reset();
  }
};

GLint integer(GLenum name) {
  GLint v = -1;
  glGetIntegerv(name, &v);
  return v;
}

void quad(float z) {
  glBegin(GL_QUADS);
  glVertex3f(-1, -1, z), glVertex3f(1, -1, z), glVertex3f(1, 1, z), glVertex3f(-1, 1, z);
  glEnd();
}

uint8_t channel(uint32_t rgb, int shift) { return uint8_t((rgb >> shift) & 0xFF); }
}  // namespace

TEST_F(MaterialGl, AlphaBlendingTurnsDepthOff) {
  material m;
  material_make(&m);
  const float argb[4] = {0.5f, 1.0f, 0.0f, 0.0f};
  material_commit_with(&m, MATERIAL_BLEND, argb);
  material_on(&m);
  EXPECT_EQ(m.flags, 10u);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(integer(GL_BLEND_SRC_ALPHA), GL_SRC_ALPHA);
  EXPECT_EQ(integer(GL_BLEND_DST_ALPHA), GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_FALSE);
  quad(0);  // half red over black
  material_off(&m);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(integer(GL_DEPTH_WRITEMASK), GL_TRUE);
  uint32_t p = shared_gl_context().pixel(32, 32);
  EXPECT_NEAR(channel(p, 16), 128, 2);
  EXPECT_EQ(channel(p, 8), 0);
  EXPECT_EQ(channel(p, 0), 0);
}

TEST_F(MaterialGl, AdditiveWinsOverAlphaBlending) {
  material m;
  material_make(&m);
  const float argb[4] = {1.0f, 0.0f, 0.0f, 1.0f};  // opaque blue added onto the background
  material_commit_with(&m, MATERIAL_BLEND | MATERIAL_ADDITIVE, argb);
  shared_gl_context().reset(1.0f, 0.0f, 0.0f);
  material_on(&m);
  EXPECT_EQ(integer(GL_BLEND_DST_RGB), GL_ONE);
  EXPECT_TRUE(m.flags & MATERIAL_NO_DEPTH);
  quad(0);
  material_off(&m);
  EXPECT_EQ(shared_gl_context().pixel(10, 10), 0xFF00FFu);
}

TEST_F(MaterialGl, OpaqueMaterialsTestDepth) {
  material near, far;
  material_make(&near);
  material_make(&far);
  const float green[4] = {1, 0, 1, 0}, red[4] = {1, 1, 0, 0};
  material_commit_with(&near, 0, green);
  material_commit_with(&far, 0, red);
  material_on(&near);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(near.flags, 0u);
  quad(-0.5f);
  material_off(&near);
  material_on(&far);
  quad(0.5f);  // behind the green one: hidden
  material_off(&far);
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_EQ(shared_gl_context().pixel(32, 32), 0x00FF00u);

  material over;
  material_make(&over);
  material_commit_with(&over, MATERIAL_NO_DEPTH, red);
  material_on(&over);
  quad(0.5f);  // depth test off: drawn although behind
  material_off(&over);
  EXPECT_EQ(shared_gl_context().pixel(32, 32), 0xFF0000u);
}

TEST_F(MaterialGl, ColourIsGivenAlphaFirstAndStoredAlphaLast) {
  material m;
  material_make(&m);
  const float argb[4] = {0.25f, 0.5f, 0.75f, 1.0f};
  material_commit_with(&m, 0, argb);
  EXPECT_FLOAT_EQ(m.colour[0], 0.5f);
  EXPECT_FLOAT_EQ(m.colour[1], 0.75f);
  EXPECT_FLOAT_EQ(m.colour[2], 1.0f);
  EXPECT_FLOAT_EQ(m.colour[3], 0.25f);
  material_on(&m);
  GLfloat current[4];
  glGetFloatv(GL_CURRENT_COLOR, current);
  EXPECT_FLOAT_EQ(current[0], 0.5f);
  EXPECT_FLOAT_EQ(current[3], 0.25f);
  material_off(&m);

  const float other[4] = {1, 0, 0, 0};
  material_commit_with(&m, MATERIAL_KEEP_COLOUR, other);
  EXPECT_FLOAT_EQ(m.colour[0], 0.5f);
  EXPECT_FLOAT_EQ(m.colour[3], 0.25f);
  glColor4f(0.1f, 0.2f, 0.3f, 0.4f);
  material_on(&m);
  glGetFloatv(GL_CURRENT_COLOR, current);
  EXPECT_FLOAT_EQ(current[0], 0.1f);  // the current colour is left alone
  EXPECT_FLOAT_EQ(current[3], 0.4f);
  material_off(&m);
}

TEST_F(MaterialGl, FilteringAndWrapLandOnTheBoundTextures) {
  GLuint names[2];
  glGenTextures(2, names);
  glBindTexture(GL_TEXTURE_2D, names[0]);
  glBindTexture(GL_TEXTURE_1D, names[1]);
  material m;
  material_make(&m);
  const float white[4] = {1, 1, 1, 1};
  material_commit_with(&m, MATERIAL_NEAREST | MATERIAL_REPEAT, white);
  material_on(&m);
  material_off(&m);
  GLint v = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v);
  EXPECT_EQ(v, GL_NEAREST);
  glGetTexParameteriv(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, &v);
  EXPECT_EQ(v, GL_NEAREST);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &v);
  EXPECT_EQ(v, GL_REPEAT);
  material_commit_with(&m, 0, white);
  material_on(&m);
  material_off(&m);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &v);
  EXPECT_EQ(v, GL_LINEAR);
  glGetTexParameteriv(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, &v);
  EXPECT_EQ(v, GL_CLAMP_TO_EDGE);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  glDeleteTextures(2, names);
}

TEST_F(MaterialGl, MultisamplingOffWhileOnAndCullingAlwaysOff) {
  glEnable(GL_MULTISAMPLE);
  glEnable(GL_CULL_FACE);
  material m;
  material_make(&m);
  const float white[4] = {1, 1, 1, 1};
  material_commit_with(&m, MATERIAL_NO_MULTISAMPLE, white);
  material_on(&m);
  EXPECT_FALSE(glIsEnabled(GL_MULTISAMPLE));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  material_off(&m);
  EXPECT_TRUE(glIsEnabled(GL_MULTISAMPLE));
}

TEST_F(MaterialGl, AMissingShaderIsSwitchedOffForGood) {
  material m;
  material_make(&m);
  const float white[4] = {1, 1, 1, 1};
  material_commit_with(&m, MATERIAL_SHADER, white);
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
