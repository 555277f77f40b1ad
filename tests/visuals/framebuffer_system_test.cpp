// Framebuffers on Mesa under Xvfb: padded sizes, drawing through the frame, bindings, a missing extension.
#include <gtest/gtest.h>

#include <cstdio>

#include "library/arch/opengl/framebuffer.hpp"
#include "tests/visuals/glut_window.hpp"

namespace {

class FramebufferGl : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(glut_window::shared().ready());
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  glut_window& w = glut_window::shared();
};

GLint bound_framebuffer() {
  GLint bound = -1;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
  return bound;
}

void clear_frame(display_frame* frame, float r, float g, float b) {
  display_device* device = nullptr;
  display_frame_define(frame, &device);
  glClearColor(r, g, b, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  display_frame_commit(frame);
}

}  // namespace

TEST_F(FramebufferGl, A1440By900DisplayGetsPaddedTexturesAndTheirUvMaximum) {
  framebuffer fb;
  framebuffer_make_sized(&fb, w.device(), {1440, 900});
  ASSERT_EQ(fb.available, 1);
  texture* t = framebuffer_as_texture(&fb);
  EXPECT_EQ(t->padded_extent[0], 2048);
  EXPECT_EQ(t->padded_extent[1], 1024);
  float uv[2] = {1.0f, 1.0f};
  texture_uv(t, uv);
  EXPECT_FLOAT_EQ(uv[0], 0.703125f);
  EXPECT_FLOAT_EQ(uv[1], 0.87890625f);
  // The frame draws into the whole content part, its far corner included.
  clear_frame(framebuffer_addf(&fb, w.begin_frame()), 0.0f, 1.0f, 0.0f);
  w.end_frame();
  rgba_image image = w.read(&fb);
  EXPECT_TRUE(image.near(1439, 899, 0, 255, 0, 0));
  framebuffer_destroy(&fb);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FramebufferGl, DrawingBetweenDefineAndCommitLandsInTheTextureNotTheWindow) {
  framebuffer fb;
  framebuffer_make_sized(&fb, w.device(), w.size());
  display_frame* screen = w.begin_frame();
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  display_frame* own = framebuffer_addf(&fb, screen);
  EXPECT_EQ(own, &fb.frame);
  EXPECT_EQ(framebuffer_of_frame(own), &fb);
  EXPECT_DOUBLE_EQ(display_frame_in_ms(own), display_frame_in_ms(screen));
  clear_frame(own, 1.0f, 0.0f, 0.0f);
  EXPECT_EQ(bound_framebuffer(), 0);
  w.end_frame();
  EXPECT_TRUE(w.read(&fb).near(10, 10, 255, 0, 0, 0));
  EXPECT_TRUE(w.read(nullptr).near(10, 10, 0, 0, 255, 0));
  framebuffer_destroy(&fb);
}

TEST_F(FramebufferGl, CommitRestoresTheBindingOfWhenItWasMadeNotOfWhenItWasDefined) {
  framebuffer outer, inner;
  framebuffer_make_sized(&outer, w.device(), w.size());
  framebuffer_make_sized(&inner, w.device(), w.size());
  display_device* device = nullptr;
  display_frame_define(&outer.frame, &device);
  ASSERT_EQ(bound_framebuffer(), GLint(outer.object));
  display_frame_define(&inner.frame, &device);
  display_frame_commit(&inner.frame);
  EXPECT_EQ(bound_framebuffer(), 0);
  // One made while another is bound returns to that one.
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, outer.object);
  framebuffer nested;
  framebuffer_make_sized(&nested, w.device(), w.size());
  EXPECT_EQ(nested.previous, outer.object);
  EXPECT_EQ(bound_framebuffer(), GLint(outer.object));
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  clear_frame(&nested.frame, 0.0f, 1.0f, 0.0f);
  EXPECT_EQ(bound_framebuffer(), GLint(outer.object));
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  display_frame_commit(&outer.frame);
  for (framebuffer* fb : {&outer, &inner, &nested}) framebuffer_destroy(fb);
}

TEST_F(FramebufferGl, DestroyingTakesTheBindingHookAwaySoTheFrameNoLongerBinds) {
  framebuffer fb;
  framebuffer_make_sized(&fb, w.device(), w.size());
  ASSERT_EQ(fb.hook_index, 0);
  opengl_framebuffer_destroy(&fb);
  EXPECT_EQ(fb.available, 0);
  EXPECT_EQ(array_length(fb.hooks), 0);
  w.begin_frame();
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  clear_frame(&fb.frame, 1.0f, 1.0f, 0.0f);
  w.end_frame();
  EXPECT_TRUE(w.read(nullptr).near(5, 5, 255, 255, 0, 0));
  framebuffer_destroy(&fb);
}

TEST_F(FramebufferGl, WithoutTheExtensionItSaysSoAndItsFrameDrawsWhereverIsBound) {
  GLboolean had = __GLEW_EXT_framebuffer_object;
  __GLEW_EXT_framebuffer_object = GL_FALSE;
  framebuffer fb;
  testing::internal::CaptureStdout();
  framebuffer_make_sized(&fb, w.device(), w.size());
  std::fflush(stdout);
  std::string printed = testing::internal::GetCapturedStdout();
  __GLEW_EXT_framebuffer_object = had;
  EXPECT_EQ(printed, "ERROR: FBO extension unavailable!\n");
  EXPECT_EQ(fb.available, 0);
  EXPECT_EQ(fb.hook_index, -1);
  EXPECT_EQ(fb.colour.defined, 1);  // its texture can still be drawn, empty
  w.begin_frame();
  clear_frame(&fb.frame, 0.0f, 1.0f, 1.0f);
  w.end_frame();
  EXPECT_TRUE(w.read(nullptr).near(5, 5, 0, 255, 255, 0));
  framebuffer_destroy(&fb);
}
