// Preloaded into a running program (LD_PRELOAD): at every buffer swap, the labels the frame drew, with
// their raster positions and the viewport, are written to the file named by KV_LABELS.
#include <GL/gl.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct label {
  float x, y;
  std::string text;
};
std::vector<label> drawn;
long frames = 0;

template <class F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// "frame N", "viewport X Y W H", then one "X Y TEXT" line per label; replaced whole by a rename.
void write_frame(const char* path) {
  std::string temporary = std::string(path) + ".part";
  FILE* f = std::fopen(temporary.c_str(), "w");
  if (!f) return;
  GLint v[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, v);
  std::fprintf(f, "frame %ld\nviewport %d %d %d %d\n", ++frames, v[0], v[1], v[2], v[3]);
  for (const label& l : drawn) std::fprintf(f, "%.6f %.6f %s\n", double(l.x), double(l.y), l.text.c_str());
  std::fclose(f);
  std::rename(temporary.c_str(), path);
}

}  // namespace

extern "C" {

// Every label sets its raster position once and then draws its characters.
void glRasterPos2f(GLfloat x, GLfloat y) {
  static auto next = real<void (*)(GLfloat, GLfloat)>("glRasterPos2f");
  drawn.push_back({x, y, ""});
  next(x, y);
}

void glutBitmapCharacter(void* font, int character) {
  static auto next = real<void (*)(void*, int)>("glutBitmapCharacter");
  if (!drawn.empty()) drawn.back().text += char(character);
  next(font, character);
}

void glutSwapBuffers() {
  static auto next = real<void (*)()>("glutSwapBuffers");
  static const char* path = std::getenv("KV_LABELS");
  if (path && !drawn.empty()) write_frame(path);
  drawn.clear();
  next();
}
}
