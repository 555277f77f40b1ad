// Preloaded into a running program (LD_PRELOAD): at every buffer swap, the labels the frame drew, at
// screen pixels just inside their first glyph, are written to the file named by KV_LABELS.
#include <GL/glut.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct label {
  float x, y;  // the raster position, in the viewport's device coordinates
  std::string text;
};
std::vector<label> drawn;
long frames = 0;

template <class F>
F real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// "frame N", then one "X Y TEXT" line per label; replaced whole by a rename.
void write_frame(const char* path) {
  static auto window = reinterpret_cast<int (*)(GLenum)>(dlsym(RTLD_DEFAULT, "glutGet"));
  std::string temporary = std::string(path) + ".part";
  FILE* f = std::fopen(temporary.c_str(), "w");
  if (!f) return;
  GLint v[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, v);
  int left = window(GLUT_WINDOW_X), top = window(GLUT_WINDOW_Y), height = window(GLUT_WINDOW_HEIGHT);
  std::fprintf(f, "frame %ld\n", ++frames);
  for (const label& l : drawn)
    std::fprintf(f, "%d %d %s\n", left + v[0] + int((l.x + 1.0f) * 0.5f * float(v[2])) + 3,
                 top + height - (v[1] + int((l.y + 1.0f) * 0.5f * float(v[3]))) - 4, l.text.c_str());
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
