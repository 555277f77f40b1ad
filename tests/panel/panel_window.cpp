// The panel drawn in a window of the test process: frames, mouse input, and the text it put on screen.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "tests/panel/panel_window.hpp"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include <cstring>

#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "library/arch/opengl/frame.hpp"

namespace {

std::vector<drawn_text> drawn;

frame_stats stats;
frame_hooks_array hooks;
display_frame panel_frame;
bool panel_made = false;

}  // namespace

extern "C" {
void __real_glRasterPos2f(GLfloat x, GLfloat y);
void __real_glutBitmapCharacter(void* font, int character);

// Every label sets its raster position once and then draws its characters.
void __wrap_glRasterPos2f(GLfloat x, GLfloat y) {
  drawn.push_back({x, y, ""});
  __real_glRasterPos2f(x, y);
}
void __wrap_glutBitmapCharacter(void* font, int character) {
  if (!drawn.empty()) drawn.back().text += char(character);
  __real_glutBitmapCharacter(font, character);
}
}

panel_window::panel_window() {
  int argc = 1;
  char name[] = "kv-panel-test";
  char* argv[] = {name, nullptr};
  if (!panel_made) glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowPosition(0, 0);
  glutInitWindowSize(panel_width, panel_height);
  window_ = glutCreateWindow("kv-panel-test");
  glutDisplayFunc([] {});
  for (int i = 0; i < 20; ++i) glutMainLoopEvent();
  if (!panel_made) {
    frame_make(&panel_frame, nullptr, 0.0, &stats, &hooks);
    ui_make(&oui.ui);
    panel_made = true;
  }
}

panel_window::~panel_window() {
  glutDestroyWindow(window_);
  for (int i = 0; i < 5; ++i) glutMainLoopEvent();
}

void panel_window::frame(double time_ms) {
  glViewport(0, 0, panel_width, panel_height);
  drawn.clear();
  panel_frame.time = time_ms;
  display_frame_define(&panel_frame, nullptr);
  oui_do(&panel_frame);
  display_frame_commit(&panel_frame);
  glFinish();
  last_ = rgb_pixels();
  glutSwapBuffers();
  glutMainLoopEvent();
}

const std::vector<drawn_text>& panel_window::texts() const { return drawn; }

const drawn_text* panel_window::find(const std::string& text, int n) const {
  for (const drawn_text& t : drawn)
    if (t.text == text && n-- == 0) return &t;
  ADD_FAILURE() << "no text \"" << text << "\" drawn";
  return nullptr;
}

int panel_window::count(const std::string& text) const {
  int n = 0;
  for (const drawn_text& t : drawn) n += t.text == text;
  return n;
}

int panel_window::index_after(const std::string& after, const std::string& text) const {
  size_t i = 0;
  while (i < drawn.size() && drawn[i].text != after) ++i;
  for (++i; i < drawn.size(); ++i)
    if (drawn[i].text == text) return int(i);
  return -1;
}

float panel_window::vp_pixels() const { return float(ui_font_height_in_pixels(&oui.ui, 2)); }
float panel_window::hp_pixels() const { return 0.75f * vp_pixels(); }

void panel_window::text_point(const drawn_text& t, int* x, int* y) const {
  *x = int((t.x + 1.0f) * 0.5f * panel_width) + 3;
  *y = int((1.0f - t.y) * 0.5f * panel_height) - 4;
}

// A knob's label sits half a line below its box, which is two lines high and four periods wide.
void panel_window::knob_centre(const drawn_text& t, int* x, int* y) const {
  const float ascent = 11.0f;  // glutBitmap8By13: 13 pixels high, 2 below the baseline
  float baseline = (1.0f - t.y) * 0.5f * panel_height;
  *x = int((t.x + 1.0f) * 0.5f * panel_width + 2.0f * hp_pixels());
  *y = int(baseline - ascent - 0.5f * vp_pixels() - vp_pixels());
}

void panel_window::click(int x, int y) {
  inMouseMotion(x, y);
  frame();
  inMouseAction(GLUT_LEFT_BUTTON, GLUT_DOWN, x, y);
  frame();
  inMouseAction(GLUT_LEFT_BUTTON, GLUT_UP, x, y);
  frame();
  frame();  // what the click changed shows in the frame after it
}

bool panel_window::click_text(const std::string& text) {
  const drawn_text* t = find(text);
  if (!t) return false;
  int x, y;
  text_point(*t, &x, &y);
  click(x, y);
  return true;
}

void panel_window::drag(int x, int y, int dy) {
  inMouseMotion(x, y);
  frame();
  inMouseAction(GLUT_LEFT_BUTTON, GLUT_DOWN, x, y);
  frame();
  for (int k = 1; k <= 10; ++k) {
    inMouseMotion(x, y - dy * k / 10);
    frame();
  }
  inMouseAction(GLUT_LEFT_BUTTON, GLUT_UP, x, y - dy);
  frame();
}

void panel_window::mouse_away() {
  inMouseMotion(panel_width - 2, panel_height - 2);
  frame();
}

std::vector<unsigned char> panel_window::rgb_pixels() const {
  std::vector<unsigned char> pixels(size_t(panel_width) * panel_height * 3), flipped(pixels.size());
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, panel_width, panel_height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  for (int y = 0; y < panel_height; ++y)  // GL rows go upwards, ours downwards
    std::memcpy(&flipped[size_t(y) * panel_width * 3], &pixels[size_t(panel_height - 1 - y) * panel_width * 3],
                size_t(panel_width) * 3);
  return flipped;
}

rgb panel_window::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= panel_width || y >= panel_height || last_.empty()) return {-1, -1, -1};
  const unsigned char* p = &last_[(size_t(y) * panel_width + x) * 3];
  return {p[0], p[1], p[2]};
}

bool panel_window::save_png(const std::string& path) const {
  return stbi_write_png(path.c_str(), panel_width, panel_height, 3, last_.data(), panel_width * 3) != 0;
}
