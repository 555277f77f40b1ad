// The panel drawn in the shared test window: frames, mouse input, and the text it put on screen.
#include "tests/panel/panel_window.hpp"

#include "tests/visuals/glut_window.hpp"  // the extension loader's header before GL's

#include <GL/freeglut.h>

#include <cstdlib>

#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals_model.hpp"

namespace {
std::vector<drawn_text> drawn;
struct scratch_folder {
  std::string path;
  ~scratch_folder() { std::system(("rm -rf " + path).c_str()); }
} folder;
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

const std::string& resources() { return folder.path; }

void panel_fresh_state() {
  oscs_make();
  modmatrix_make();
  kelvarin_ui_history_make(&oui_history);
  current_slot = 0;
  oui.saving = 0;
  oui.message = nullptr;
  visuals_p = 0;
  oui.outer.scroll = oui.osc_stack.scroll = 0.0f;
}

panel_window& panel_window::shared() {
  static panel_window window;
  return window;
}

panel_window::panel_window() {
  char name[] = "/tmp/kv-panel-res-XXXXXX";
  if (!mkdtemp(name) || !glut_window::shared(panel_width, panel_height).ready()) return;
  folder.path = name;
  setenv("KELVARIN_RESOURCES", name, 1);
  ui_make(&oui.ui);
  panel_fresh_state();
  ready_ = true;
}

void panel_window::frame() {
  glut_window& w = glut_window::shared();
  drawn.clear();
  oui_do(w.begin_frame());
  w.end_frame();
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

void panel_window::text_point(const drawn_text& t, int* x, int* y) const {
  *x = int((t.x + 1.0f) * 0.5f * panel_width) + 3;
  *y = int((1.0f - t.y) * 0.5f * panel_height) - 4;
}

// A knob's label sits half a line below its box, which is two lines high and four periods (three
// quarters of a line each) wide; the label's font (8 by 13) rises 11 pixels above its baseline.
void panel_window::knob_centre(const drawn_text& t, int* x, int* y) const {
  const float line = float(ui_font_height_in_pixels(&oui.ui, 2));
  *x = int((t.x + 1.0f) * 0.5f * panel_width + 1.5f * line);
  *y = int((1.0f - t.y) * 0.5f * panel_height - 11.0f - 1.5f * line);
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
  int x, y;
  if (t) text_point(*t, &x, &y), click(x, y);
  return t != nullptr;
}

void panel_window::mouse_away() {
  inMouseMotion(panel_width - 2, panel_height - 2);
  frame();
}
