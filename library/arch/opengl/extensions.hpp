// The GL extension loader (GLEW), initialised once a GL context is current; 3D textures, shaders and
// framebuffer objects are reached through it.
#pragma once

// Initialises the loader with the current context; once that succeeded, later calls do nothing more.
// A failed attempt (e.g. no context yet) may be repeated. Returns 1 when the loader is ready, else 0.
int opengl_extensions_init();
// 1 once initialised successfully.
int opengl_extensions_ready();
// The loader's text for the outcome of the last initialisation ("No error" before any and on success).
const char* opengl_extensions_error();
// The loader's version, e.g. "2.2.0".
const char* opengl_extensions_version();
