// Initialises GLEW once and keeps its result for the display layer's status lines.
#include "library/arch/opengl/extensions.hpp"

#include <GL/glew.h>

namespace {
int ready_p = 0;
GLenum result = GLEW_OK;
}  // namespace

int opengl_extensions_init() {
  if (!ready_p) {
    result = glewInit();
    ready_p = result == GLEW_OK;
  }
  return ready_p;
}

int opengl_extensions_ready() { return ready_p; }

const char* opengl_extensions_error() { return reinterpret_cast<const char*>(glewGetErrorString(result)); }

const char* opengl_extensions_version() { return reinterpret_cast<const char*>(glewGetString(GLEW_VERSION)); }
