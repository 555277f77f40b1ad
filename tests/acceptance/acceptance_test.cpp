// The shipped programs started as a user starts them, on a JACK dummy server and an Xvfb display, with a
// scratch copy of the shipped resources: what is heard, seen, written and printed.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/acceptance/observe.hpp"
#include "tests/support/servers.hpp"

namespace {
using clock_type = std::chrono::steady_clock;
double since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }
void pause_until(clock_type::time_point t, double s) { std::this_thread::sleep_until(t + std::chrono::milliseconds(long(s * 1000))); }
std::string read_bytes(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}
int count_of(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A sound's level and its power in octave bands from 20 Hz (Hann-windowed 4096-sample frames), so a change
// of timbre counts as well as a change of level.
std::vector<double> character_of(const recording& r, double from, double to) {
  constexpr size_t n = 4096;
  std::vector<double> c(11, 0.0);
  c[10] = r.rms(from, to);
  for (size_t start = size_t(from * 44100); start + n <= std::min(r.left.size(), size_t(to * 44100)); start += n) {
    std::vector<std::complex<double>> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = (r.left[start + i] + r.right[start + i]) * (0.5 - 0.5 * std::cos(2 * M_PI * double(i) / n));
    for (size_t i = 1, j = 0; i < n; ++i) {  // an in-place radix-2 FFT
      size_t bit = n >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      if (i < (j ^= bit)) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1)
      for (size_t i = 0; i < n; i += len)
        for (size_t k = 0; k < len / 2; ++k) {
          std::complex<double> u = x[i + k], v = x[i + k + len / 2] * std::polar(1.0, -2.0 * M_PI * double(k) / double(len));
          x[i + k] = u + v, x[i + k + len / 2] = u - v;
        }
    for (size_t k = 1; k < n / 2; ++k) {
      int band = int(std::floor(std::log2(double(k) * 44100.0 / n / 20.0)));
      if (band >= 0 && band < 10) c[size_t(band)] += std::norm(x[k]);
    }
  }
  return c;
}
// Level apart by more than 30 %, or the bands that hold the sound 3 dB apart on average.
bool differs(const std::vector<double>& a, const std::vector<double>& b) {
  if (std::max(a[10], b[10]) > 1.3 * std::min(a[10], b[10])) return true;
  double loudest = 0, sum = 0;
  for (int i = 0; i < 10; ++i) loudest = std::max({loudest, a[i], b[i]});
  int counted = 0;
  for (int i = 0; i < 10; ++i)
    if (std::max(a[i], b[i]) >= loudest * 1e-5) sum += std::fabs(10 * std::log10((a[i] + loudest * 1e-5) / (b[i] + loudest * 1e-5))), ++counted;
  return counted > 0 && sum / counted > 3.0;
}

class Acceptance : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    display = new xvfb_display(1280, 800);
    jack = new jack_server("accept");
  }
  static void TearDownTestSuite() {
    delete jack;
    delete display;
  }
  void SetUp() override {
    ASSERT_TRUE(display->ready());
    ASSERT_TRUE(jack->ready());
  }
  std::unique_ptr<child_process> start(const std::string& build) {
    auto p = std::make_unique<child_process>(std::vector<std::string>{"env", "KELVARIN_RESOURCES=" + folder.path(), program(build)});
    EXPECT_TRUE(p->wait_for_output("Status: Using GLEW", 30)) << p->output();
    return p;
  }
  // The instrument's window: 904 x 509 at (100, 100) on this screen (no game mode on Xvfb).
  picture shot(const std::string& name = "") const {
    picture p = grab(display->name(), 100, 100, 904, 509);
    if (!name.empty()) write_png(p, binary_dir() + "/acceptance-" + name + ".png");
    return p;
  }
  double off_title(const picture& p) {
    if (title.empty()) {
      std::string ppm = run_command("/usr/bin/convert '" + folder.file("title.jpg") + "' -resize 904x509! -depth 8 ppm:-");
      int w = 0, h = 0, used = 0;
      if (std::sscanf(ppm.c_str(), "P6 %d %d 255%n", &w, &h, &used) == 2 && ppm.size() >= size_t(used + 1 + w * h * 3))
        title = {w, h, std::vector<unsigned char>(ppm.begin() + used + 1, ppm.begin() + used + 1 + w * h * 3)};
    }
    return difference(p, title, 0);
  }
  // The screens until `seconds` after `from`, the first frames being slow on a busy machine: how close
  // the closest came to the title image (the closest is kept as a picture).
  double closest_to_title(clock_type::time_point from, double seconds, const std::string& name) {
    double best = 255;
    for (picture p; since(from) < seconds;)
      if (off_title(p = shot()) < best) best = off_title(p), write_png(p, binary_dir() + "/acceptance-" + name + ".png");
    return best;
  }
  static void key(const std::string& keys) { run_command("xdotool mousemove 400 300 key " + keys); }
  static int quit(child_process& p) {
    key("Escape");
    int status = p.wait_exit(15);
    std::string out = p.output();
    EXPECT_EQ(out.substr(out.size() >= 4 ? out.size() - 4 : 0), "quit") << out;
    return status;
  }

  static inline xvfb_display* display = nullptr;
  static inline jack_server* jack = nullptr;
  scratch_resources folder;
  picture title;
};
}  // namespace

// The shipped performance: audio before the window, the title for three seconds, then visuals that move,
// every slot in turn seven seconds apart from 3.5 s (each heard and each a change), the end at 60 s.
TEST_F(Acceptance, TheShippedDemoPlaysFromTheTitleToItsEnd) {
  auto started = clock_type::now();
  auto player = start("kelvarin");
  recording heard;
  double heard_from = 0;
  std::thread recorder([&] {
    output_ports();
    heard = record_output(binary_dir() + "/acceptance-demo.wav", 61.0 - since(started));
    heard_from = since(started) - heard.seconds();  // jack_rec's end is seen, its start is not
  });
  auto window_up = clock_type::now();  // the display clock starts before the window exists
  double title_off = closest_to_title(window_up, 2.5, "title");
  pause_until(window_up, 5.0);
  picture visuals = shot("visuals");
  pause_until(window_up, 6.0);
  picture later = shot();
  int status = player->wait_exit(100);
  double lifetime = since(started);
  recorder.join();
  std::string out = player->output();
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("quit"), std::string::npos);
  EXPECT_LT(out.find("device 0\n"), out.find("Status: Using GLEW")) << "audio starts before the display";
  EXPECT_GT(count_of(out, "display-fps: "), 10);
  EXPECT_GT(lifetime, 59.7);
  EXPECT_LT(lifetime, 66.0);
  std::printf("screens: title %.1f off the title image, visuals %.1f off it, moved by %.1f\n", title_off,
              off_title(visuals), difference(visuals, later, 0));
  EXPECT_LT(title_off, 12.0);
  EXPECT_GT(off_title(visuals), 3.0 * title_off + 10.0);
  EXPECT_GT(difference(visuals, later, 0), 0.0);
  // The first load's onset places the playlist on the recording's clock; before it all is silent.
  double onset = -1;
  for (double t = 0; t + 0.05 < heard.seconds() && onset < 0; t += 0.01)
    if (heard.rms(t, t + 0.05) > 1e-3) onset = t;
  ASSERT_GT(onset, 0.0) << "the playlist's slots are heard";
  EXPECT_GT(onset + heard_from, 3.2) << "nothing before the first load";
  EXPECT_LT(onset + heard_from, 6.5);
  EXPECT_LT(heard.rms(0.0, onset - 0.3), 1e-4);
  std::vector<double> previous;
  for (int slot = 0; slot < 8; ++slot) {
    std::vector<double> c = character_of(heard, onset + 7.0 * slot + 0.5, onset + 7.0 * (slot + 1) - 0.3);
    std::printf("slot %d: rms %.4f\n", slot, c[10]);
    EXPECT_GT(c[10], 0.005) << "slot " << slot << " sounds";
    if (slot > 0) { EXPECT_TRUE(differs(previous, c)) << "the sound changes when slot " << slot << " loads"; }
    previous = c;
  }
  EXPECT_LT(heard.peak(), 1.5) << "bounded and finite";
}

// The plain build shows the title over the panel, then the panel; the editor build never shows the title,
// and full screen, which Xvfb cannot give, falls back to a window that goes on drawing.
TEST_F(Acceptance, ThePlainAndEditorBuildsAndTheFullScreenFallback) {
  auto plain = start("kelvarin-plain");
  auto started = clock_type::now();
  EXPECT_LT(closest_to_title(started, 2.5, "plain-title"), 12.0);
  pause_until(started, 5.0);
  EXPECT_GT(off_title(shot("plain-panel")), 30.0);
  EXPECT_TRUE(plain->running()) << "no playlist replay: it goes on";
  EXPECT_EQ(quit(*plain), 0);
  auto editor = start("kelvarin-editor");
  started = clock_type::now();
  for (bool title_seen = false; since(started) < 2.0 && !title_seen;) EXPECT_FALSE(title_seen = off_title(shot()) < 12.0);
  for (int switches = 1; switches <= 2; ++switches) {
    key("alt+Return");
    auto asked = clock_type::now();
    while (count_of(editor->output(), "switching to fullscreen mode") < switches && since(asked) < 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int frames = count_of(editor->output(), "display-fps: ");  // lines after the switch: the new window draws
    while (count_of(editor->output(), "display-fps: ") <= frames && since(asked) < 25)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GT(count_of(editor->output(), "display-fps: "), frames) << "the window goes on drawing";
  }
  EXPECT_EQ(count_of(editor->output(), "switching to fullscreen mode"), 2);
  EXPECT_EQ(editor->output().find("switching to windowed mode"), std::string::npos);
  EXPECT_EQ(quit(*editor), 0);
}

// Escape ends the process while audio and MIDI run, right after the window or after audio statistics;
// without an X display GLUT says so and the program ends with status 1, its audio having started.
TEST_F(Acceptance, EveryStartEndsCleanlyWithOrWithoutADisplay) {
  for (int cycle = 0; cycle < 6; ++cycle) {
    auto program = start("kelvarin");
    if (cycle % 2) { ASSERT_TRUE(program->wait_for_output("audio-fps: ", 10)) << cycle; }
    EXPECT_EQ(quit(*program), 0) << cycle;
  }
  child_process blind({"env", "DISPLAY=", program("kelvarin")});
  EXPECT_EQ(blind.wait_exit(30), 1) << blind.output();
  EXPECT_NE(blind.output().find("device 0\n"), std::string::npos);
  EXPECT_NE(blind.output().find("freeglut (title): failed to open display"), std::string::npos);
}

// Every shipped slot renders offline to a bounded sound and dumps to a source that builds it back.
TEST_F(Acceptance, TheRendererAndThePresetToolOnEveryShippedSlot) {
  for (int slot = 0; slot < 8; ++slot) {
    std::string name = "save-" + std::to_string(slot) + ".dat", wav = folder.file(name + ".wav"), text = folder.file(name + ".txt");
    int status = -1;
    run_command("'" + program("kelvarin-render") + "' --slot '" + folder.file(name) + "' --seconds 6 --float '" + wav + "'", &status);
    EXPECT_EQ(status, 0) << name;
    recording r = read_wav(wav);
    ASSERT_NEAR(r.seconds(), 6.0, 0.05) << name;
    EXPECT_GT(r.rms(3.5, 6.0), 0.003) << name << " sounds";
    EXPECT_LT(r.peak(), 1.5) << name << " stays bounded and finite";
    run_command("'" + program("kelvarin-preset") + "' dump '" + folder.file(name) + "' > '" + text + "'", &status);
    EXPECT_EQ(status, 0) << name;
    run_command("'" + program("kelvarin-preset") + "' build '" + text + "' '" + wav + "'", &status);
    EXPECT_EQ(status, 0) << name;
    EXPECT_EQ(read_bytes(folder.file(name)).size(), 4756u);
    EXPECT_TRUE(read_bytes(wav) == read_bytes(folder.file(name))) << name << " comes back byte for byte";
  }
}

// make run's script without a display and without an audio device: it says so, plays a short playlist
// under its own Xvfb and the program goes on without sound. It plays the tree's build folder only.
TEST_F(Acceptance, TheRunScriptPlaysUnderAVirtualDisplayWhenThereIsNone) {
  if (binary_dir() != source_dir() + "/build") GTEST_SKIP() << "the run script plays the tree's build folder only";
  std::ofstream(folder.file("playlist.txt")) << "load 3500 1\nend 5000\n";
  int status = -1;
  run_command("'" + program("kelvarin-preset") + "' playlist '" + folder.file("playlist.txt") + "' '" + folder.file("playlist") + "'", &status);
  ASSERT_EQ(status, 0);
  // setsid: the script, its Xvfb and the program form one group, stopped together if the test fails.
  child_process script({"env", "-u", "DISPLAY", "JACK_DEFAULT_SERVER=kv-no-such-server", "JACK_NO_START_SERVER=1",
                        "KELVARIN_RESOURCES=" + folder.path(), "setsid", "bash", source_dir() + "/scripts/run.sh"});
  int exit_status = script.wait_exit(180);
  if (exit_status < 0 && script.pid() > 0) kill(-script.pid(), SIGTERM);
  std::string out = script.output();
  EXPECT_EQ(exit_status, 0) << out;
  for (const char* said : {"No display found: playing the demo under a virtual display (Xvfb :", "Could not find adequate device.", "quit"})
    EXPECT_NE(out.find(said), std::string::npos) << said << "\n" << out;
}
