// A GLUT window on the test's own Xvfb, a display frame for it, and framebuffers read back with glReadPixels.
#include "tests/visuals/glut_window.hpp"

#include <GL/freeglut.h>

#include <cstdlib>
#include <memory>

#include "library/arch/opengl/extensions.hpp"
#include "tests/support/servers.hpp"

bool rgba_image::near(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b, int tolerance) const {
  const uint8_t* p = at(x, y);
  return std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance;
}

glut_window& glut_window::shared(int32_t width, int32_t height) {
  static glut_window window(width, height);
  return window;
}

glut_window::glut_window(int32_t width, int32_t height) : width_(width), height_(height) {
  static std::unique_ptr<xvfb_display> display = std::make_unique<xvfb_display>(1280, 800);
  if (!display->ready()) return;
  static char name[] = "kv-visuals-test";
  static char* argv[] = {name, nullptr};
  int argc = 1;
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowPosition(0, 0);
  glutInitWindowSize(width, height);
  if (glutCreateWindow("visuals") < 1) return;
  glutDisplayFunc([] {});
  for (int i = 0; i < 10; ++i) glutMainLoopEvent();
  ready_ = opengl_extensions_init() == 1;
  frame_stats_make(&stats_);
  frame_make(&frame_, &device_, 0.0, &stats_, &hooks_);
}

display_frame* glut_window::begin_frame() {
  glViewport(0, 0, width_, height_);
  glDisable(GL_SCISSOR_TEST);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  frame_.time += 1000.0 / 60.0;
  display_device* device = nullptr;
  display_frame_define(&frame_, &device);
  return &frame_;
}

void glut_window::end_frame() { display_frame_commit(&frame_); }

rgba_image glut_window::read(const framebuffer* fb) const {
  rgba_image image;
  image.width = fb ? fb->colour.extent[0] : width_;
  image.height = fb ? fb->colour.extent[1] : height_;
  image.bytes.resize(size_t(image.width) * size_t(image.height) * 4);
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb ? fb->object : 0);
  glReadBuffer(fb ? GL_COLOR_ATTACHMENT0_EXT : GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, image.width, image.height, GL_RGBA, GL_UNSIGNED_BYTE, image.bytes.data());
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(bound));
  glReadBuffer(bound ? GL_COLOR_ATTACHMENT0_EXT : GL_BACK);
  return image;
}
