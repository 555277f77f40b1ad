// OpenGL error messages and the trace call used after GL calls.
#include "library/arch/opengl/debug.hpp"

#include <GL/glew.h>

#include <cstdio>

const char* opengl_error_message(unsigned int error) {
  switch (error) {
    case GL_INVALID_ENUM: return "GL_INVALID_ENUM: GLenum argument out of range.";
    case GL_INVALID_VALUE: return "GL_INVALID_VALUE: Numeric argument out of range.";
    case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION: Operation illegal in current state.";
    case GL_STACK_OVERFLOW: return "GL_STACK_OVERFLOW: Function would cause a stack overflow. ";
    case GL_STACK_UNDERFLOW: return "GL_STACK_UNDERFLOW: Function would cause a stack underflow. ";
    case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY: Not enough memory left";
    case GL_INVALID_FRAMEBUFFER_OPERATION_EXT: return "GL_INVALID_FRAMEBUFFER_OPERATION_EXT: FBO EXT: Invalid operation.";
    default: return "GL: Unknown error.";
  }
}

void opengl_print_error(const char* file, int line, unsigned int error) {
  if (error == GL_NO_ERROR) return;
  printf("ERROR: %s:%d %s\n", file, line, opengl_error_message(error));
}

unsigned int opengl_trace(const char* file, int line) {
  GLenum error = glGetError();
  opengl_print_error(file, line, error);
  return error;
}
