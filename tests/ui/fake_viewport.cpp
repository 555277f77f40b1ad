// Stands in for the GL viewport query in unit tests, which run without a GL context: an 800 x 600 window.
#include <GL/gl.h>

#include <cstring>

extern "C" void glGetIntegerv(GLenum name, GLint* out) {
  if (name == GL_VIEWPORT) {
    const GLint viewport[4] = {0, 0, 800, 600};
    std::memcpy(out, viewport, sizeof viewport);
  }
}
