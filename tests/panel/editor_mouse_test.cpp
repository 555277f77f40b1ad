// The editor build played with the mouse as a performer would: xdotool on the real kelvarin-editor under
// Xvfb and a JACK dummy server. Where to click comes from the same page drawn in a window of this process
// (same size as the instrument's window), which also gives the reference pictures the screen must match.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "library/arch/opengl/display-glut.hpp"
#include "tests/acceptance/observe.hpp"
#include "tests/panel/panel_fixture.hpp"

// The instrument letterboxes its window to 16:9 (904 x 509 becomes a 904 x 508 viewport). The reference
// page does the same, so its rows wrap exactly where the instrument's do (the test links with
// --wrap=glViewport).
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
constexpr int over[3] = {235, 237, 235}, pressed[3] = {204, 209, 204};  // a button under the mouse, held

double seconds_since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }
void pause(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }
void xdo(const std::string& args) { run_command("xdotool " + args + " >/dev/null 2>&1"); }
// Asks `done` every `step` seconds until it holds or `seconds` have passed.
template <class F>
bool poll(F done, double seconds = 30, double step = 0.1) {
  for (auto t = clock_type::now(); seconds_since(t) < seconds; pause(step))
    if (done()) return true;
  return done();
}

// A region of the window around a label: its glyphs (8 pixels a character) and a margin.
struct region {
  int x, y, w, h;
};
region around(const drawn_text& t, int characters) {
  int x = int((t.x + 1.0f) * 0.5f * panel_width), baseline = int((1.0f - t.y) * 0.5f * panel_height);
  return {x - 6, baseline - 15, 8 * characters + 12, 21};
}

size_t file_size(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? size_t(st.st_size) : 0;
}

// One field's value as `kelvarin-preset dump` prints it ("name = value").
std::string dumped(const std::string& slot_file, const std::string& field) {
  std::string out = "\n" + run_command("'" + program("kelvarin-preset") + "' dump '" + slot_file + "' 2>/dev/null");
  size_t at = out.find("\n" + field + " = ");
  if (at == std::string::npos) return "";
  at += field.size() + 4;
  return out.substr(at, out.find('\n', at) - at);
}

class EditorMouse : public PanelFixture {
 protected:
  void SetUp() override {
    PanelFixture::SetUp();
    jack = std::make_unique<jack_server>("editor-mouse");
    ASSERT_TRUE(jack->ready());
    // The reference page starts as the editor does, with the shipped slots beside it.
    run_command("cp '" + binary_dir() + "/bin/resources/'save-*.dat '" + resources() + "/'");
    panel_fresh_state();
  }
  void TearDown() override {
    editor.reset();
    jack.reset();
    PanelFixture::TearDown();
  }

  // The editor's window: the one top-level window of this display, found with xwininfo.
  bool find_window() {
    for (int i = 0; i < 100; ++i) {
      std::string tree = run_command("xwininfo -display " + panel_display().name() + " -root -children");
      int w = 0, h = 0, x = 0, y = 0;
      size_t at = tree.find("): ()");
      if (at != std::string::npos && std::sscanf(tree.c_str() + at + 5, " %dx%d+%d+%d", &w, &h, &x, &y) == 4) {
        width = w, height = h, origin_x = x, origin_y = y;
        return true;
      }
      pause(0.1);
    }
    return false;
  }
  picture screen(region r) const {
    return grab(panel_display().name(), origin_x + r.x, origin_y + r.y, r.w, r.h);
  }
  // Polls the screen until the region looks like `want` rather than `other` (or until the time-out).
  bool wait_for_look(region r, const picture& want, const picture& other) {
    double to_want = 255, to_other = 255;
    if (poll([&] {
          picture now = screen(r);
          to_want = difference(now, want, 2), to_other = difference(now, other, 2);
          return to_want < 12.0 && to_want < to_other;
        }, 30, 0.2))
      return true;
    std::printf("region %d,%d %dx%d: %.1f off the wanted look, %.1f off the other\n", r.x, r.y, r.w, r.h, to_want,
                to_other);
    write_png(screen(r), binary_dir() + "/editor-mouse-seen.png");
    write_png(want, binary_dir() + "/editor-mouse-wanted.png");
    return false;
  }
  double share(int x, int y, const int (&c)[3]) const {
    return share_of(screen({x - 1, y - 1, 3, 3}), c[0], c[1], c[2]);
  }
  bool wait_for_colour(int x, int y, const int (&c)[3]) { return poll([&] { return share(x, y, c) > 0.5; }); }
  // Moves the mouse to a point of the editor's window.
  void move_to(int x, int y) { xdo("mousemove " + std::to_string(origin_x + x) + " " + std::to_string(origin_y + y)); }
  // A click a frame at a time: the hover shows, the press shows, ~150 ms held, released, mouse away.
  // The time the hover took to show is the longest a frame is seen to take.
  void click_button(const drawn_text& label) {
    int x, y;
    window->text_point(label, &x, &y);
    int fx = x - 7, fy = y - 1;  // inside the button, left of its text
    ASSERT_EQ(window->pixel(fx, fy).r, 255) << "a point of the button's face, off the text: " << label.text;
    auto moved = clock_type::now();
    move_to(x, y);
    ASSERT_TRUE(wait_for_colour(fx, fy, over)) << "the button under the mouse: " << label.text;
    frame_seconds = std::max(frame_seconds, seconds_since(moved));
    xdo("mousedown 1");
    ASSERT_TRUE(wait_for_colour(fx, fy, pressed)) << "the button held: " << label.text;
    pause(0.15);
    xdo("mouseup 1");
    poll([&] { return share(fx, fy, pressed) < 0.5; });
    mouse_away();
  }
  void mouse_away() { move_to(panel_width - 2, panel_height - 2); }
  // The same click on the reference page, with the mouse moved away after it as on the screen.
  void reference_click(const drawn_text& label) {
    int x, y;
    window->text_point(label, &x, &y);
    window->click(x, y);
    window->mouse_away();
    window->frame();
  }

  std::unique_ptr<jack_server> jack;
  scratch_resources folder;
  std::unique_ptr<child_process> editor;
  int origin_x = 0, origin_y = 0, width = 0, height = 0;
  double frame_seconds = 0.5;
};

}  // namespace

TEST_F(EditorMouse, SavesLoadsStepsAKindAndTurnsAVolumeDown) {
  // The reference run: every step on the page of this process first, keeping the pages the screen must show.
  auto page = [&] { return picture{panel_width, panel_height, window->last_pixels()}; };
  auto part = [](const picture& p, region r) { return cut(p, r.x, r.y, r.w, r.h); };
  window->mouse_away();
  window->frame();
  const picture page_start = page();
  const drawn_text slot0 = *window->find("[0]");
  reference_click(slot0);
  const picture page_loaded = page();
  const drawn_text saving = *window->find("saving?");
  const region message = around(*window->find("MSG: loaded succesfully."), 24);
  reference_click(saving);
  const picture page_saving = page();
  const drawn_text slot5 = *window->find("5");
  reference_click(slot5);
  const picture page_saved = page();
  ASSERT_EQ(window->count("MSG: save succesfully."), 1);
  ASSERT_EQ(window->count("[5]"), 1);
  const drawn_text current5 = *window->find("[5]");  // the rows wrap anew: "[0]" was wider than "0"
  const region five = around(current5, 3);
  window->save_png(binary_dir() + "/editor-reference-saved.png");
  reference_click(current5);
  const picture page_reloaded = page();
  const int kind_index = window->index_after("Oscillators", "sin");
  ASSERT_GE(kind_index, 0);
  const drawn_text kind = window->texts()[size_t(kind_index)];
  const drawn_text volume = *window->find("v  80");
  reference_click(kind);
  ASSERT_EQ(window->texts()[size_t(kind_index)].text, "tri");
  const picture page_kind = page();
  const region kind_region = around(kind, 3), label = around(volume, 5);

  // The real editor.
  editor = std::make_unique<child_process>(std::vector<std::string>{"env", "KELVARIN_RESOURCES=" + folder.path(),
                                                                    program("kelvarin-editor")});
  ASSERT_TRUE(editor->wait_for_output("Status: Using GLEW", 60)) << editor->output();
  ASSERT_TRUE(find_window());
  EXPECT_EQ(width, panel_width);
  EXPECT_EQ(height, panel_height);
  EXPECT_LT(width, 1280) << "a window, not the full screen: game mode is impossible on Xvfb";
  mouse_away();
  const region r0 = around(slot0, 3);
  ASSERT_TRUE(wait_for_look(r0, part(page_start, r0), part(page_saved, r0))) << "the panel with slot 0 current";
  write_png(grab(panel_display().name(), origin_x, origin_y, width, height), binary_dir() + "/editor-start.png");

  click_button(slot0);  // load the shipped slot 0: the sound the rest of the run works on
  ASSERT_TRUE(wait_for_look(message, part(page_loaded, message), part(page_start, message)))
      << "MSG: loaded succesfully.";

  click_button(saving);
  click_button(slot5);
  const std::string saved5 = folder.file("save-5.dat");
  EXPECT_TRUE(poll([&] { return file_size(saved5) == size_t(SLOT_FILE_BYTES); })) << file_size(saved5);
  EXPECT_TRUE(wait_for_look(message, part(page_saved, message), part(page_loaded, message)))
      << "MSG: save succesfully.";
  EXPECT_TRUE(wait_for_look(five, part(page_saved, five), part(page_saving, five))) << "slot 5 reads [5]";
  EXPECT_EQ(dumped(saved5, "voice.0.volume"), "0.800000012") << "slot 0's sound went into slot 5";
  write_png(grab(panel_display().name(), origin_x, origin_y, width, height), binary_dir() + "/editor-saved.png");

  click_button(current5);  // pressing "[5]" again loads it
  EXPECT_TRUE(wait_for_look(message, part(page_reloaded, message), part(page_saved, message)))
      << "MSG: loaded succesfully. after [5]";

  click_button(kind);
  EXPECT_TRUE(wait_for_look(kind_region, part(page_kind, kind_region), part(page_reloaded, kind_region)))
      << "the first oscillator's kind steps to tri";

  recording before = record_output(binary_dir() + "/editor-before.wav", 2.0);
  // Drag the first voice's volume knob down: held until frames have seen the press, then moved in steps.
  int kx, ky;
  window->knob_centre(volume, &kx, &ky);
  const double settle = std::max(1.0, 3.0 * frame_seconds);
  move_to(kx, ky);
  pause(settle);
  xdo("mousedown 1");
  pause(settle);
  for (int step = 1; step <= 10; ++step, pause(settle / 3)) move_to(kx, ky + 15 * step);
  // "v  80" no more
  bool moved = poll([&] { return difference(screen(label), part(page_kind, label), 1) > 3.0; }, 30, 0.2);
  pause(settle);
  xdo("mouseup 1");
  mouse_away();
  EXPECT_TRUE(moved) << "the volume label changes while the knob is dragged";
  pause(settle);
  recording after = record_output(binary_dir() + "/editor-after.wav", 2.0);

  // Save the edited sound into slot 6 and read it back with the preset tool.
  click_button(saving);
  click_button(*window->find("6"));
  const std::string six = folder.file("save-6.dat");
  poll([&] { return dumped(six, "osc.0.kind") == "tri"; }, 30, 0.2);
  EXPECT_EQ(dumped(saved5, "osc.0.kind"), "sin");
  EXPECT_EQ(dumped(six, "osc.0.kind"), "tri") << "the kind button stepped sin -> tri";
  double volume_after = std::atof(dumped(six, "voice.0.volume").c_str());
  EXPECT_LT(volume_after, 0.6) << "the drag turned the first voice down";

  ASSERT_GT(before.seconds(), 1.5);
  ASSERT_GT(after.seconds(), 1.5);
  double rms_before = before.rms(0.2, 1.9), rms_after = after.rms(0.2, 1.9);
  std::printf("editor volume drag: voice 0 volume 0.80 -> %.3f, output rms %.4f -> %.4f\n", volume_after,
              rms_before, rms_after);
  EXPECT_GT(rms_before, 0.01) << "slot 0 sounds";
  EXPECT_LT(rms_after, 0.8 * rms_before) << "and quieter once its first voice is turned down";

  xdo("mousemove " + std::to_string(origin_x + 300) + " " + std::to_string(origin_y + 200) + " key Escape");
  EXPECT_EQ(editor->wait_exit(30), 0) << editor->output();
}
