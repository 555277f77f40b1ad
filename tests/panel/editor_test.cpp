// The editor build played as a performer would, under the test window's Xvfb and a JACK dummy server:
// the mouse through xdotool, where to click and what the screen must show coming from the same page
// drawn in this process.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <thread>

#include "apps/kelvarin/presets.hpp"
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
bool poll(F done, double seconds = 30, double step = 0.1) {
  for (auto t = clock_type::now(); since(t) < seconds; pause(step))
    if (done()) return true;
  return done();
}
size_t file_size(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? size_t(st.st_size) : 0;
}
// One field as `kelvarin-preset dump` prints it ("name = value").
std::string dumped(const std::string& slot_file, const std::string& field) {
  std::string out = "\n" + run_command("'" + program("kelvarin-preset") + "' dump '" + slot_file + "' 2>/dev/null");
  size_t at = out.find("\n" + field + " = ");
  return at == std::string::npos ? "" : out.substr(at + field.size() + 4, out.find('\n', at + 1) - at - field.size() - 4);
}
// A region of the window around a label: its glyphs (8 pixels a character) and a margin.
struct region {
  int x, y, w, h;
};
region around(const drawn_text& t, int characters) {
  return {int((t.x + 1.0f) * 0.5f * panel_width) - 6, int((1.0f - t.y) * 0.5f * panel_height) - 15, 8 * characters + 12, 21};
}
picture part(const picture& p, region r) { return cut(p, r.x, r.y, r.w, r.h); }

class Editor : public PanelFixture {
 protected:
  static void SetUpTestSuite() { jack = new jack_server("editor"); }
  static void TearDownTestSuite() { delete jack; }
  void SetUp() override {
    PanelFixture::SetUp();
    ASSERT_TRUE(jack->ready());
    panel_fresh_state();
  }
  std::unique_ptr<child_process> start(const std::string& build, const std::string& folder = resources()) {
    auto p = std::make_unique<child_process>(std::vector<std::string>{"env", "KELVARIN_RESOURCES=" + folder, program(build)});
    EXPECT_TRUE(p->wait_for_output("Status: Using GLEW", 60)) << p->output();
    return p;
  }
  // The editor's window: the top-level window of this display without a name, found with xwininfo.
  bool find_window() {
    return poll([&] {
      std::string tree = run_command("xwininfo -root -children");
      size_t at = tree.find("): ()");
      return at != std::string::npos && std::sscanf(tree.c_str() + at + 5, " %dx%d+%d+%d", &width, &height, &x0, &y0) == 4;
    }, 10);
  }
  picture screen(region r) const { return grab(std::getenv("DISPLAY"), x0 + r.x, y0 + r.y, r.w, r.h); }
  // Polls the screen until the region looks like `want` rather than `other`.
  bool looks(region r, const picture& want, const picture& other) {
    double to_want = 255, to_other = 255;
    bool ok = poll([&] {
      picture now = screen(r);
      to_want = difference(now, part(want, r), 2), to_other = difference(now, part(other, r), 2);
      return to_want < 12.0 && to_want < to_other;
    }, 30, 0.2);
    if (!ok) std::printf("region %d,%d: %.1f off the wanted look, %.1f off the other\n", r.x, r.y, to_want, to_other);
    return ok;
  }
  bool colour_at(int x, int y, int r, int g, int b, bool wanted = true) {
    return poll([&] { return (share_of(screen({x - 1, y - 1, 3, 3}), r, g, b) > 0.5) == wanted; });
  }
  void move_to(int x, int y) { xdo("mousemove " + std::to_string(x0 + x) + " " + std::to_string(y0 + y)); }
  // A click a frame at a time: the hover shows, the press shows, held ~150 ms, released, mouse away.
  void click(const drawn_text& label) {
    int x, y;
    window->text_point(label, &x, &y);
    auto moved = clock_type::now();
    move_to(x, y);
    ASSERT_TRUE(colour_at(x - 7, y - 1, 235, 237, 235)) << "under the mouse: " << label.text;
    frame_seconds = std::max(frame_seconds, since(moved));
    xdo("mousedown 1");
    ASSERT_TRUE(colour_at(x - 7, y - 1, 204, 209, 204)) << "held: " << label.text;
    pause(0.15);
    xdo("mouseup 1");
    colour_at(x - 7, y - 1, 204, 209, 204, false);
    move_to(panel_width - 2, panel_height - 2);
  }
  // The same click on the reference page; the page it leaves.
  picture reference_click(const drawn_text& label) {
    int x, y;
    window->text_point(label, &x, &y);
    window->click(x, y);
    window->mouse_away();
    return {panel_width, panel_height, window->last_pixels()};
  }
  int quit(child_process& p) {
    xdo("mousemove " + std::to_string(x0 + 300) + " " + std::to_string(y0 + 200) + " key Escape");
    return p.wait_exit(30);
  }

  static inline jack_server* jack = nullptr;
  int x0 = 100, y0 = 100, width = 0, height = 0;
  double frame_seconds = 0.5;
};
}  // namespace

TEST_F(Editor, SavesLoadsStepsAKindAndTurnsAVolumeDownWithTheMouse) {
  run_command("cp '" + binary_dir() + "/bin/resources/'save-*.dat '" + resources() + "/'");
  // The reference run first: every step on the page of this process, keeping the pages the screen must show.
  window->mouse_away();
  const picture start_page{panel_width, panel_height, window->last_pixels()};
  const drawn_text slot0 = *window->find("[0]");
  const picture loaded = reference_click(slot0);
  const drawn_text saving = *window->find("saving?");
  const region message = around(*window->find("MSG: loaded succesfully."), 24);
  const picture saving_page = reference_click(saving);
  const drawn_text slot5 = *window->find("5");
  const picture saved = reference_click(slot5);
  const drawn_text current5 = *window->find("[5]");  // the rows wrap anew: "[0]" was wider than "0"
  const picture reloaded = reference_click(current5);
  const int kind_index = window->index_after("Oscillators", "sin");
  ASSERT_GE(kind_index, 0);
  const drawn_text kind = window->texts()[size_t(kind_index)], volume = *window->find("v  80");
  const picture stepped = reference_click(kind);
  ASSERT_EQ(window->texts()[size_t(kind_index)].text, "tri");

  scratch_resources shipped;  // the editor's own copy of the shipped resources
  child_process leds({"oscdump", "-L", "8880"});  // the grid's LEDs
  pause(0.5);
  auto editor = start("kelvarin-editor", shipped.path());
  ASSERT_TRUE(find_window());
  EXPECT_EQ(width * 1000 + height, panel_width * 1000 + panel_height) << "a window, not the full screen";
  move_to(panel_width - 2, panel_height - 2);
  ASSERT_TRUE(looks(around(slot0, 3), start_page, saved)) << "the panel with slot 0 current";
  click(slot0);  // the shipped slot 0: the sound the rest of the run works on
  ASSERT_TRUE(looks(message, loaded, start_page)) << "MSG: loaded succesfully.";
  click(saving);
  click(slot5);
  const std::string five = shipped.file("save-5.dat"), six = shipped.file("save-6.dat");
  EXPECT_TRUE(poll([&] { return file_size(five) == size_t(SLOT_FILE_BYTES); }));
  EXPECT_TRUE(looks(message, saved, loaded)) << "MSG: save succesfully.";
  EXPECT_TRUE(looks(around(current5, 3), saved, saving_page)) << "slot 5 reads [5]";
  EXPECT_EQ(dumped(five, "voice.0.volume"), "0.800000012") << "slot 0's sound went into slot 5";
  click(current5);
  EXPECT_TRUE(looks(message, reloaded, saved)) << "pressing [5] again loads it";
  click(kind);
  EXPECT_TRUE(looks(around(kind, 3), stepped, reloaded)) << "the first kind steps to tri";
  // The first voice's volume knob dragged down: held until frames have seen the press, moved in steps.
  int kx, ky;
  window->knob_centre(volume, &kx, &ky);
  const double settle = std::max(1.0, 3.0 * frame_seconds);
  move_to(kx, ky);
  pause(settle);
  xdo("mousedown 1");
  pause(settle);
  for (int step = 1; step <= 10; ++step, pause(settle / 3)) move_to(kx, ky + 15 * step);
  EXPECT_TRUE(poll([&] { return difference(screen(around(volume, 5)), part(stepped, around(volume, 5)), 1) > 3.0; }, 30, 0.2))
      << "the volume label changes while the knob is dragged";
  pause(settle);
  xdo("mouseup 1");
  move_to(panel_width - 2, panel_height - 2);
  click(saving);
  click(*window->find("6"));
  poll([&] { return dumped(six, "osc.0.kind") == "tri"; }, 30, 0.2);
  EXPECT_EQ(dumped(five, "osc.0.kind"), "sin");
  EXPECT_EQ(dumped(six, "osc.0.kind"), "tri");
  EXPECT_LT(std::atof(dumped(six, "voice.0.volume").c_str()), 0.6) << "the drag turned the first voice down";
  // A slot pressed on the grid loads it and lights its LED, the current slot's going out.
  run_command("oscsend localhost 7770 /box/press iii 3 0 1");
  EXPECT_TRUE(leds.wait_for_output("/box/led iii 3 0 1", 10)) << leds.output();
  EXPECT_NE(leds.output().find("/box/led iii 6 0 0"), std::string::npos);
  EXPECT_EQ(quit(*editor), 0) << editor->output();
}
