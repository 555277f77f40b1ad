// The panel drawn in a window of the test process: frames, mouse input, and the text it put on screen.
#pragma once
#include <string>
#include <vector>

// Every label the widgets drew in the last frame, read from the GL and GLUT calls themselves (the test
// links with --wrap for glRasterPos2f and glutBitmapCharacter), so the panel's code is not trusted.
struct drawn_text {
  float x, y;  // where the text starts: its baseline, in normalised device coordinates
  std::string text;
};

// The window has the size of the instrument's window on a 1280 x 800 screen, so positions found here
// are the positions on the instrument's window.
constexpr int panel_width = 904, panel_height = 509;

struct rgb {
  int r, g, b;
};

class panel_window {
 public:
  panel_window();  // needs DISPLAY; makes the window and the panel record `oui` (without the grid link)
  ~panel_window();
  void frame(double time_ms = 5000.0);  // one oui_do
  const std::vector<drawn_text>& texts() const;
  // The n-th text drawn (in drawing order) equal to `text`; fails the test when missing.
  const drawn_text* find(const std::string& text, int n = 0) const;
  int count(const std::string& text) const;
  // The index of the first text equal to `text` drawn after the first one equal to `after`, or -1.
  int index_after(const std::string& after, const std::string& text) const;
  // Window pixels (origin top-left) of a point a few pixels inside the first glyph of a text.
  void text_point(const drawn_text& t, int* x, int* y) const;
  // The centre of the knob whose label is `t`.
  void knob_centre(const drawn_text& t, int* x, int* y) const;
  void click(int x, int y);                 // press, frame, release, frame, frame
  bool click_text(const std::string& text);  // a click on the first text equal to `text`; false if none
  void drag(int x, int y, int dy);          // press, move up by dy pixels in steps, release
  void mouse_away();
  rgb pixel(int x, int y) const;  // of the last frame, window pixels origin top-left
  const std::vector<unsigned char>& last_pixels() const { return last_; }  // RGB rows of the last frame
  bool save_png(const std::string& path) const;
  float hp_pixels() const;
  float vp_pixels() const;

 private:
  std::vector<unsigned char> rgb_pixels() const;
  int window_ = 0;
  std::vector<unsigned char> last_;
};
