// The instrument's window under Xvfb with a JACK dummy server: title, statistics, keys and a clean exit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "library/visuals/image.hpp"
#include "tests/support/servers.hpp"

namespace {

using clock_type = std::chrono::steady_clock;

// A 1280 x 800 screen gives a 904 x 509 window, placed at (100, 100) where no window manager moves it.
constexpr int window_x = 100, window_y = 100, window_w = 904, window_h = 509;
constexpr double title_match = 12.0;   // mean difference per channel of a shown title (JPEG, nearest)
constexpr double title_absent = 30.0;  // the title against black differs by about 60

struct rgb_image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
};

// The screen as ImageMagick reads it, as binary PPM of 8 bits a channel (its default would be 16).
rgb_image screenshot(const std::string& display) {
  rgb_image shot;
  std::string ppm = run_command("import -display " + display + " -window root -depth 8 ppm:- 2>/dev/null");
  int maxval = 0, offset = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &shot.width, &shot.height, &maxval, &offset) != 3) return {};
  size_t bytes = size_t(shot.width) * shot.height * 3;
  if (maxval != 255 || ppm.size() < size_t(offset) + 1 + bytes) return {};
  shot.rgb.assign(ppm.begin() + offset + 1, ppm.begin() + offset + 1 + long(bytes));
  return shot;
}

// Mean absolute difference per channel between the window area and the title stretched over it, as a
// nearest-filtered sprite draws it. Large when the shot is missing.
double title_distance(const rgb_image& shot, const image& title) {
  if (shot.width < window_x + window_w || shot.height < window_y + window_h || !title.pixels) return 1e9;
  double sum = 0;
  long n = 0;
  for (int y = 0; y < window_h; y += 3) {
    for (int x = 0; x < window_w; x += 3) {
      int tx = int((x + 0.5) * title.width / window_w), ty = int((y + 0.5) * title.height / window_h);
      const unsigned char* t = title.pixels + (size_t(ty) * title.stride + tx) * 4;
      const unsigned char* s = &shot.rgb[(size_t(window_y + y) * shot.width + window_x + x) * 3];
      for (int c = 0; c < 3; ++c) sum += std::abs(int(t[c]) - int(s[c]));
      n += 3;
    }
  }
  return sum / double(n);
}

std::string program_dir() {
  const char* dir = std::getenv("KV_PROGRAM_DIR");  // lets the same test drive a sanitizer build
  return dir && *dir ? dir : binary_dir() + "/bin";
}

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

void sleep_until(clock_type::time_point start, double seconds) {
  std::this_thread::sleep_until(start + std::chrono::duration_cast<clock_type::duration>(
                                            std::chrono::duration<double>(seconds)));
}

std::vector<double> display_fps(const std::string& output) {
  std::vector<double> fps;
  std::regex line("display-fps: ([0-9.]+) \\[");
  for (auto it = std::sregex_iterator(output.begin(), output.end(), line); it != std::sregex_iterator(); ++it)
    fps.push_back(std::stod((*it)[1]));
  return fps;
}

int count_of(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class InstrumentWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    xvfb = new xvfb_display(1280, 800);
    jack = new jack_server("display");
    title = new image{};
    image_make_from_file(title, (program_dir() + "/resources/title.jpg").c_str());
  }
  static void TearDownTestSuite() {
    image_delete(title);
    delete title;
    delete jack;
    delete xvfb;
  }
  void SetUp() override {
    ASSERT_TRUE(xvfb->ready());
    ASSERT_TRUE(jack->ready());
    ASSERT_NE(title->pixels, nullptr) << "the build installs resources/title.jpg";
  }

  std::unique_ptr<child_process> start(const std::string& build) {
    return std::make_unique<child_process>(std::vector<std::string>{program_dir() + "/" + build}, jack->env());
  }
  void key(const std::string& keys) {
    run_command("xdotool mousemove " + std::to_string(window_x + 300) + " " + std::to_string(window_y + 200) +
                " key " + keys);
  }
  // Screens from the first window until `until` seconds after the start: whether the title showed.
  bool title_seen_before(clock_type::time_point started, double until) {
    while (seconds_since(started) < until)
      if (title_distance(screenshot(xvfb->name()), *title) < title_match) return true;
    return false;
  }
  // Ends the program with Escape; its status, with the output required to end in "quit".
  int quit(child_process& program) {
    key("Escape");
    int status = program.wait_exit(15);
    std::string out = program.output();
    EXPECT_EQ(out.substr(out.size() >= 4 ? out.size() - 4 : 0), "quit") << out;
    EXPECT_EQ(out.find("AddressSanitizer"), std::string::npos) << out;
    EXPECT_EQ(out.find("runtime error"), std::string::npos) << out;
    return status;
  }

  static xvfb_display* xvfb;
  static jack_server* jack;
  static image* title;
};
xvfb_display* InstrumentWindow::xvfb = nullptr;
jack_server* InstrumentWindow::jack = nullptr;
image* InstrumentWindow::title = nullptr;

}  // namespace

TEST_F(InstrumentWindow, DefaultBuildShowsTheTitleForThreeSecondsThenQuitsOnEscape) {
  auto program = start("kelvarin");
  ASSERT_TRUE(program->wait_for_output("Status: Using GLEW", 30)) << program->output();
  // The display clock starts before the window exists, so 2.5 s after the window is within the title.
  auto window_up = clock_type::now();
  EXPECT_TRUE(title_seen_before(window_up, 2.5));
  sleep_until(window_up, 4.5);
  double after = title_distance(screenshot(xvfb->name()), *title);
  EXPECT_GT(after, title_absent) << "the title still shows after 3000 ms of display time";
  ASSERT_TRUE(program->wait_for_output("display-fps: ", 10));
  ASSERT_TRUE(program->wait_for_output("audio-fps: ", 10)) << "the audio stream runs under the window";
  EXPECT_EQ(quit(*program), 0);
  std::string out = program->output();
  EXPECT_LT(out.find("device 0\n"), out.find("Status: Using GLEW"));  // audio starts before the display
  std::vector<double> fps = display_fps(out);
  ASSERT_FALSE(fps.empty());
  std::printf("display-fps lines:");
  for (double f : fps) std::printf(" %.2f", f);
  std::printf("\n");
}

TEST_F(InstrumentWindow, PlainBuildShowsTheTitleAndEditorBuildNever) {
  auto plain = start("kelvarin-plain");
  ASSERT_TRUE(plain->wait_for_output("Status: Using GLEW", 30)) << plain->output();
  EXPECT_TRUE(title_seen_before(clock_type::now(), 2.5));
  EXPECT_EQ(quit(*plain), 0);

  auto editor = start("kelvarin-editor");
  ASSERT_TRUE(editor->wait_for_output("Status: Using GLEW", 30)) << editor->output();
  EXPECT_FALSE(title_seen_before(clock_type::now(), 2.0));
  ASSERT_TRUE(editor->wait_for_output("display-fps: ", 10));  // frames were shown meanwhile
  EXPECT_EQ(quit(*editor), 0);
}

// Xvfb offers no video mode of the window's size, so full screen falls back to a window and the
// preference is cleared: each Alt+Return announces the switch, and the window goes on drawing.
TEST_F(InstrumentWindow, AltReturnTriesFullScreenAndFallsBackToAWindow) {
  auto program = start("kelvarin");
  ASSERT_TRUE(program->wait_for_output("Status: Using GLEW", 30)) << program->output();
  key("alt+Return");
  ASSERT_TRUE(program->wait_for_output("switching to fullscreen mode", 10)) << program->output();
  // The new window goes on drawing (new statistics lines) and takes the next key.
  auto wait_for_frames = [&](int before) {
    auto asked = clock_type::now();
    while (count_of(program->output(), "display-fps: ") <= before && seconds_since(asked) < 15)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return count_of(program->output(), "display-fps: ") > before;
  };
  EXPECT_TRUE(wait_for_frames(count_of(program->output(), "display-fps: ")));
  key("alt+Return");
  auto asked = clock_type::now();
  while (count_of(program->output(), "switching to fullscreen mode") < 2 && seconds_since(asked) < 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(count_of(program->output(), "switching to fullscreen mode"), 2);
  EXPECT_TRUE(wait_for_frames(count_of(program->output(), "display-fps: ")));
  std::string out = program->output();
  EXPECT_EQ(out.find("not calling display function"), std::string::npos) << out;
  EXPECT_EQ(out.find("switching to windowed mode"), std::string::npos) << out;
  EXPECT_EQ(quit(*program), 0);  // windowed: Escape ends at once
}

// Escape ends the process while the audio callback and the MIDI thread run; every run must end with
// status 0 and no signal, early (right after the window) or late (after the first audio statistics).
TEST_F(InstrumentWindow, TwentyStartsAndEscapesWithAudioRunningAllExitCleanly) {
  for (int cycle = 0; cycle < 20; ++cycle) {
    auto program = start("kelvarin");
    ASSERT_TRUE(program->wait_for_output("Status: Using GLEW", 30)) << "cycle " << cycle << program->output();
    if (cycle % 2) {
      ASSERT_TRUE(program->wait_for_output("audio-fps: ", 10)) << "cycle " << cycle;
    }
    EXPECT_EQ(quit(*program), 0) << "cycle " << cycle << "\n" << program->output();
  }
}

// Without an X display GLUT cannot start: its message, status 1, and no crash under the running audio.
TEST_F(InstrumentWindow, WithoutAnXDisplayTheProgramSaysSoAndEndsWithStatusOne) {
  std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  setenv("DISPLAY", "", 1);
  auto program = start("kelvarin");
  setenv("DISPLAY", display.c_str(), 1);
  EXPECT_EQ(program->wait_exit(30), 1) << program->output();
  std::string out = program->output();
  EXPECT_NE(out.find("device 0\n"), std::string::npos) << out;  // audio had started
  EXPECT_NE(out.find("freeglut (title): failed to open display"), std::string::npos) << out;
  EXPECT_EQ(out.find("AddressSanitizer"), std::string::npos) << out;
}
