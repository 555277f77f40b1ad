// GLX test context: Xvfb with Mesa's software renderer, one window, pixels read back with glReadPixels.
#include "tests/graphics/gl_context.hpp"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include "library/arch/opengl/extensions.hpp"
#include "tests/support/servers.hpp"

gl_context::gl_context(int width, int height) : width_(width), height_(height) {
  display_ = std::make_unique<xvfb_display>(1280, 800);
  if (!display_->ready()) return;
  Display* x = nullptr;
  for (int i = 0; i < 100 && !x; ++i) {
    x = XOpenDisplay(display_->name().c_str());
    if (!x) usleep(20000);
  }
  if (!x) return;
  x_ = x;
  int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                      GLX_DEPTH_SIZE, 16, None};
  XVisualInfo* visual = glXChooseVisual(x, DefaultScreen(x), attributes);
  if (!visual) return;
  Window root = RootWindow(x, visual->screen);
  XSetWindowAttributes wa{};
  wa.colormap = XCreateColormap(x, root, visual->visual, AllocNone);
  window_ = XCreateWindow(x, root, 0, 0, unsigned(width), unsigned(height), 0, visual->depth, InputOutput,
                          visual->visual, CWColormap, &wa);
  XMapWindow(x, window_);
  GLXContext context = glXCreateContext(x, visual, nullptr, True);
  XFree(visual);
  if (!context) return;
  context_ = context;
  glXMakeCurrent(x, window_, context);
  ready_ = opengl_extensions_init();
  glDrawBuffer(GL_BACK);
  glReadBuffer(GL_BACK);
}

gl_context::~gl_context() {
  Display* x = static_cast<Display*>(x_);
  if (x) {
    glXMakeCurrent(x, None, nullptr);
    if (context_) glXDestroyContext(x, static_cast<GLXContext>(context_));
    if (window_) XDestroyWindow(x, window_);
    XCloseDisplay(x);
  }
}

void gl_context::reset(float r, float g, float b) {
  glViewport(0, 0, width_, height_);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_3D);
  glColor4f(1, 1, 1, 1);
  glClearColor(r, g, b, 1);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  while (glGetError() != GL_NO_ERROR) {
  }
}

uint32_t gl_context::pixel(int x, int y) const {
  uint8_t rgba[4] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, height_ - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  return (uint32_t(rgba[0]) << 16) | (uint32_t(rgba[1]) << 8) | rgba[2];
}

std::vector<uint32_t> gl_context::pixels() const {
  std::vector<uint32_t> out;
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) out.push_back(pixel(x, y));
  return out;
}

gl_context& shared_gl_context() {
  static gl_context context(64, 64);
  return context;
}
