// OpenGL error reporting: every graphics module prints pending GL errors tagged with its source and line.
#pragma once

// Message for a GL error code (GLenum); unknown codes share one message.
const char* opengl_error_message(unsigned int error);
// Prints "ERROR: file:line message" for a nonzero error; nothing for 0 (GL_NO_ERROR).
void opengl_print_error(const char* file, int line, unsigned int error);
// Reads one pending GL error (glGetError) and prints it; returns it so a caller can act on it as well.
unsigned int opengl_trace(const char* file, int line);
