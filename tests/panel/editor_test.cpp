// The editor build played as a performer would, under the test window's Xvfb and a JACK dummy server:
// the mouse through xdotool, where to click coming from the same page drawn in this process.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "library/arch/opengl/display-glut.hpp"
#include "tests/acceptance/observe.hpp"
#include "tests/panel/panel_window.hpp"
#include "tests/support/servers.hpp"

// The instrument letterboxes its 904 x 509 window to a 904 x 508 viewport; the reference page does the
// same, so its rows wrap exactly where the instrument's do.
extern "C" {
void __real_glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void __wrap_glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
  if (width == panel_width && height == panel_height) {
    pixel_rect box = display_letterbox(width, height, pixel_ratio{16, 9});
    x += box.x, y += box.y, width = box.width, height = box.height;
  }
  __real_glViewport(x, y, width, height);
}
}

namespace {
using clock_type = std::chrono::steady_clock;
double since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }
void pause(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }
void xdo(const std::string& args) { run_command("xdotool " + args + " >/dev/null 2>&1"); }
template <class F>
bool poll(F done, double seconds = 30) {
  for (auto t = clock_type::now(); since(t) < seconds; pause(0.2))
    if (done()) return true;
  return done();
}
// One field as `kelvarin-preset dump` prints it ("name = value").
std::string dumped(const std::string& slot_file, const std::string& field) {
  std::string out = "\n" + run_command("'" + program("kelvarin-preset") + "' dump '" + slot_file + "' 2>/dev/null");
  size_t at = out.find("\n" + field + " = "), from = at + field.size() + 4;
  return at == std::string::npos ? "" : out.substr(from, out.find('\n', from) - from);
}

class Editor : public PanelFixture {
 protected:
  // The editor's window: the top-level window of this display without a name, found with xwininfo.
  bool find_window() {
    return poll([&] {
      std::string tree = run_command("xwininfo -root -children");
      size_t at = tree.find("): ()");
      if (at == std::string::npos) return false;
      return std::sscanf(tree.c_str() + at + 5, " %dx%d+%d+%d", &width, &height, &x0, &y0) == 4;
    }, 10);
  }
  bool colour_at(int x, int y, int r, int g, int b, bool wanted = true) {
    return poll([&] { return (share_of(screen(x - 1, y - 1, 3, 3), r, g, b) > 0.5) == wanted; });
  }
  picture screen(int x, int y, int w, int h) { return grab(std::getenv("DISPLAY"), x0 + x, y0 + y, w, h); }
  void move_to(int x, int y) { xdo("mousemove " + std::to_string(x0 + x) + " " + std::to_string(y0 + y)); }
  // A click a frame at a time (the hover shows, the press shows, held ~150 ms, released, mouse away),
  // then the same click on the reference page so that its labels stay where the editor's are.
  void click(const std::string& text) {
    const drawn_text* label = window->find(text);
    ASSERT_NE(label, nullptr);
    int x, y;
    window->text_point(*label, &x, &y);
    auto moved = clock_type::now();
    move_to(x, y);
    ASSERT_TRUE(colour_at(x - 7, y - 1, 235, 237, 235)) << "under the mouse: " << text;
    frame_seconds = std::max(frame_seconds, since(moved));
    xdo("mousedown 1");
    ASSERT_TRUE(colour_at(x - 7, y - 1, 204, 209, 204)) << "held: " << text;
    pause(0.15);
    xdo("mouseup 1");
    colour_at(x - 7, y - 1, 204, 209, 204, false);
    move_to(panel_width - 2, panel_height - 2);
    window->click(x, y);
    window->mouse_away();
  }
  int x0 = 100, y0 = 100, width = 0, height = 0;
  double frame_seconds = 0.5;
};
}  // namespace

// Slot 5 saved as the editor starts; the first kind stepped and the first volume dragged down into slot 6;
// a grid press loads a slot and moves the LED; Escape quits cleanly.
TEST_F(Editor, SavesStepsAKindTurnsAVolumeDownAndFollowsTheGrid) {
  jack_server jack("editor");
  ASSERT_TRUE(jack.ready());
  panel_fresh_state();
  run_command("cp '" + binary_dir() + "/bin/resources/'save-*.dat '" + resources() + "/'");
  window->mouse_away();
  scratch_resources shipped;  // the editor's own copy of the shipped resources
  child_process leds({"oscdump", "-L", "8880"});  // the grid's LEDs
  child_process editor({"env", "KELVARIN_RESOURCES=" + shipped.path(), program("kelvarin-editor")});
  ASSERT_TRUE(editor.wait_for_output("Status: Using GLEW", 60)) << editor.output();
  ASSERT_TRUE(find_window());
  EXPECT_EQ(width * 1000 + height, panel_width * 1000 + panel_height) << "a window, not the full screen";
  const std::string five = shipped.file("save-5.dat"), six = shipped.file("save-6.dat");
  click("[0]");  // the shipped slot 0: the sound the rest of the run works on
  click("saving?");
  click("5");
  const int kind_index = window->index_after("Oscillators", "sin");
  ASSERT_GE(kind_index, 0);
  click(window->texts()[size_t(kind_index)].text);
  ASSERT_EQ(window->texts()[size_t(kind_index)].text, "tri");
  // The first voice's volume knob dragged down: held until frames have seen the press, moved in steps.
  const drawn_text* volume = window->find("v  80");
  ASSERT_NE(volume, nullptr);
  int kx, ky;
  window->knob_centre(*volume, &kx, &ky);
  const double settle = std::max(1.0, 3.0 * frame_seconds);
  move_to(kx, ky);
  pause(settle);
  xdo("mousedown 1");
  pause(settle);
  for (int step = 1; step <= 10; ++step, pause(settle / 3)) move_to(kx, ky + 15 * step);
  pause(settle);
  xdo("mouseup 1");
  move_to(panel_width - 2, panel_height - 2);
  click("saving?");
  click("6");
  poll([&] { return dumped(six, "osc.0.kind") == "tri"; });
  EXPECT_EQ(dumped(five, "osc.0.kind") + " " + dumped(five, "voice.0.volume"), "sin 0.800000012");
  EXPECT_EQ(dumped(six, "osc.0.kind"), "tri");
  EXPECT_LT(std::atof(dumped(six, "voice.0.volume").c_str()), 0.6) << "the drag turned the first voice down";
  // A slot pressed on the grid loads it and lights its LED, the current slot's going out.
  run_command("oscsend localhost 7770 /box/press iii 3 0 1");
  EXPECT_TRUE(leds.wait_for_output("/box/led iii 3 0 1", 10)) << leds.output();
  EXPECT_NE(leds.output().find("/box/led iii 6 0 0"), std::string::npos);
  xdo("mousemove " + std::to_string(x0 + 300) + " " + std::to_string(y0 + 200) + " key Escape");
  EXPECT_EQ(editor.wait_exit(30), 0) << editor.output();
}
