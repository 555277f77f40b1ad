// The panel drawn in the shared test window: frames, mouse input, and the text it put on screen.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

// Every label the widgets drew in the last frame, read from the GL and GLUT calls themselves (the test
// links with --wrap for glRasterPos2f and glutBitmapCharacter), so the panel's code is not trusted.
struct drawn_text {
  float x, y;  // the start of its baseline, in normalised device coordinates
  std::string text;
};

// The instrument's window on a 1280 x 800 screen, so positions found here are positions on it.
constexpr int panel_width = 904, panel_height = 509;

// The panel record `oui` in the shared window, with a resource folder of its own (set before anything
// resolves it) and the instrument state as the program starts with it.
class panel_window {
 public:
  static panel_window& shared();
  bool ready() const { return ready_; }
  void frame();  // one oui_do
  const std::vector<drawn_text>& texts() const;
  const drawn_text* find(const std::string& text, int n = 0) const;  // the n-th such text, or a failure
  int count(const std::string& text) const;
  int index_after(const std::string& after, const std::string& text) const;  // the first after `after`
  void text_point(const drawn_text& t, int* x, int* y) const;  // window pixels inside its first glyph
  void knob_centre(const drawn_text& t, int* x, int* y) const;  // of the knob labelled `t`
  void click(int x, int y);                                    // press, release, and the frame after
  bool click_text(const std::string& text);
  void mouse_away();

 private:
  panel_window();
  bool ready_ = false;
};

const std::string& resources();
void panel_fresh_state();

class PanelFixture : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window->ready()); }
  panel_window* window = &panel_window::shared();
};
