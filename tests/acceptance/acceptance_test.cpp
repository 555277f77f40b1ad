// The shipped programs started as a user starts them, on a JACK dummy server and an Xvfb display, with a
// scratch copy of the shipped resources: what is heard, seen, recorded, written and printed.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/acceptance/observe.hpp"
#include "tests/acceptance/screen_labels.hpp"
#include "tests/shipping/screen_measure.hpp"
#include "tests/support/servers.hpp"

namespace {
using clock_type = std::chrono::steady_clock;
double since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }
void pause_until(clock_type::time_point t, double s) { std::this_thread::sleep_until(t + std::chrono::milliseconds(long(s * 1000))); }
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

// The n-th recorder line starting with `marker`: "recording to PATH", "recorded PATH (S s)" or
// "recording stopped, WHY: recorded PATH (S s)"; the path and the seconds (-1 without).
std::pair<std::string, double> recorder_line(const std::string& out, const std::string& marker, int n) {
  size_t at = out.find(marker);
  for (int i = 0; i < n && at != std::string::npos; ++i) at = out.find(marker, at + 1);
  if (at == std::string::npos) return {"none", -1};
  size_t from = at + marker.size();
  std::string rest = out.substr(from, out.find('\n', from) - from);
  size_t open = rest.rfind(" (");
  if (open == std::string::npos) return {rest, -1};
  return {rest.substr(0, open), std::atof(rest.c_str() + open + 2)};
}

// Every value of a printed statistics field ("cpu-load: " of the audio lines, say), in order.
std::vector<double> printed(const std::string& out, const std::string& line_start, const std::string& field) {
  std::vector<double> values;
  for (size_t at = 0; (at = out.find(line_start, at)) != std::string::npos; ++at) {
    size_t f = out.find(field, at);
    if (f != std::string::npos && f < out.find('\n', at)) values.push_back(std::atof(out.c_str() + f + field.size()));
  }
  return values;
}

// jack_rec stores 32-bit integers: a float comes back within one step of 2^-31 and its own rounding.
bool same_frame(const recording& a, size_t i, const recording& b, size_t j) {
  auto same = [](float x, float y) { return std::fabs(double(x) - y) <= 1e-9 + 1.2e-7 * std::fabs(double(x)); };
  return same(a.left[i], b.left[j]) && same(a.right[i], b.right[j]);
}

// Where `part` starts inside `whole`: its first 2048 frames from the first audible one must match.
long offset_in(const recording& whole, const recording& part) {
  size_t a = 0;
  while (a < part.left.size() && std::fabs(part.left[a]) < 1e-3f) ++a;
  if (a + 2048 > part.left.size()) return -1;
  for (size_t k = a; k + 2048 <= whole.left.size(); ++k) {
    size_t i = 0;
    while (i < 2048 && same_frame(whole, k + i, part, a + i)) ++i;
    if (i == 2048) return long(k - a);
  }
  return -1;
}

// Frames of `part` that differ from `whole` at the offset, counting those `whole` does not cover.
size_t mismatches(const recording& whole, const recording& part, long offset) {
  size_t wrong = 0;
  for (size_t i = 0; i < part.left.size(); ++i) {
    size_t k = size_t(offset) + i;
    wrong += k >= whole.left.size() || !same_frame(whole, k, part, i);
  }
  return wrong;
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
  std::unique_ptr<child_process> start(std::vector<std::string> argv, std::vector<std::string> env = {}) {
    argv.back() = program(argv.back());
    env.push_back("KELVARIN_RESOURCES=" + folder.path());
    auto p = std::make_unique<child_process>(argv, env);
    EXPECT_TRUE(p->wait_for_output("Status: Using GLEW", 60)) << p->output();
    return p;
  }
  // The instrument's window: 904 x 509 at (100, 100) on this screen (no game mode on Xvfb).
  picture shot() const { return grab(display->name(), 100, 100, 904, 509); }
  double off_title(const picture& p) {
    if (title.empty()) title = ppm_from("/usr/bin/convert '" + folder.file("title.jpg") + "' -resize 904x509! -depth 8 ppm:-");
    return difference(p, title, 0);
  }
  // The screens until `seconds` after `from`, the first frames being slow on a busy machine: how close
  // the closest came to the title image.
  double closest_to_title(clock_type::time_point from, double seconds) {
    double best = 255;
    while (since(from) < seconds) best = std::min(best, off_title(shot()));
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

// The shipped performance: audio before the window, the title for three seconds, then visuals that move
// and never stay black for long, every slot in turn seven seconds apart from 3.5 s (each heard and each a
// change), the end at 60 s.
TEST_F(Acceptance, TheShippedDemoPlaysFromTheTitleToItsEnd) {
  auto started = clock_type::now();
  auto player = start({"kelvarin"});
  recording heard;
  double heard_from = 0;
  std::thread recorder([&] {
    heard = record_output(binary_dir() + "/acceptance-demo.wav", 61.0 - since(started));
    heard_from = since(started) - heard.seconds();  // jack_rec's end is seen, its start is not
  });
  auto window_up = clock_type::now();  // the display clock starts before the window exists
  double title_off = closest_to_title(window_up, 2.5);
  // Then a screen every half second to the end (or as fast as the shared machine grabs them).
  picture visuals, later;
  std::vector<screen_measure> screens;
  std::vector<double> seconds;
  for (double next = 3.0; player->running(); next += 0.5) {
    pause_until(window_up, next);
    picture p = shot();
    if (p.empty() || !player->running()) break;
    if (visuals.empty() && since(window_up) >= 5.0) visuals = p;
    if (later.empty() && since(window_up) >= 6.0) later = p;
    screens.push_back(screen_measure::of(p.rgb.data(), p.width, p.height, 3));
    seconds.push_back(since(started));
  }
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

  double longest = longest_dark(screens, seconds), widest = 0;
  for (size_t i = 1; i < seconds.size(); ++i) widest = std::max(widest, seconds[i] - seconds[i - 1]);
  std::printf("screens: title %.1f off the title image, visuals %.1f off it, moved by %.1f; %zu screens, longest "
              "dark stretch %.1f s\n", title_off, off_title(visuals), difference(visuals, later, 0), screens.size(), longest);
  EXPECT_LT(title_off, 12.0);
  EXPECT_GT(off_title(visuals), 3.0 * title_off + 10.0);
  EXPECT_GT(difference(visuals, later, 0), 0.0);
  ASSERT_GT(screens.size(), 20u);
  EXPECT_GT(seconds.back(), 58.0);
  EXPECT_LE(widest, 1.5) << "screens close enough together to see a black stretch";
  EXPECT_LE(longest, 1.5);

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

// The plain build shows the title over the panel, then the panel, and goes on with no playlist to play.
TEST_F(Acceptance, ThePlainBuildShowsTheTitleThenThePanel) {
  auto plain = start({"kelvarin-plain"});
  auto started = clock_type::now();
  EXPECT_LT(closest_to_title(started, 2.5), 12.0);
  pause_until(started, 5.0);
  EXPECT_GT(off_title(shot()), 30.0);
  EXPECT_TRUE(plain->running()) << "no playlist replay: it goes on";
  EXPECT_EQ(quit(*plain), 0);
}

// The editor as a performer records with it: no title, a slot loaded with the mouse, "r" and the "rec"
// button, a file size limit that stops the first recording half way, each recording sample for sample
// what jack_rec heard, the panel's health figures against the printed statistics, full screen (which
// Xvfb cannot give) falling back to a window that goes on drawing, and a recording closed by the quit.
TEST_F(Acceptance, TheEditorRecordsWhatGoesOutAndFallsBackToAWindow) {
  constexpr long file_limit = 1500000;  // bytes: about 4.2 s of 32-bit float stereo at 44100 Hz
  screen_labels screen(display->name());
  auto editor = start({"prlimit", "--fsize=" + std::to_string(file_limit), "kelvarin-editor"}, screen.env());
  auto out = [&] { return editor->output(); };
  for (auto t = clock_type::now(); since(t) < 2.0;) ASSERT_GT(off_title(shot()), 12.0) << "no title";
  ASSERT_TRUE(screen.find_window());
  ASSERT_TRUE(screen.click("[0]"));  // the shipped slot 0: sound to record
  ASSERT_NE(screen.find("MSG: loaded succesfully."), "");
  const std::string heard_wav = folder.file("heard.wav");
  std::vector<std::string> ports = output_ports();
  ASSERT_EQ(ports.size(), 2u);
  child_process heard({"jack_rec", "-f", heard_wav, "-d", "20", "-b", "32", "-B", "1048576", ports[0], ports[1]});
  // jack_rec hears from its connection on.
  eventually([] { return run_command("jack_lsp -c").find("\n   jackrec:input2") != std::string::npos; }, 10);

  // The first recording, started with the key, runs into the file size limit.
  screen.key("r");
  ASSERT_TRUE(editor->wait_for_output("recording to ", 30)) << out();
  EXPECT_NE(screen.find("rec 0:02"), "") << "the running time on the rec button";
  // Health: what the input row shows is what the last statistics lines said (the figures change once a
  // second, so the row may be one line behind the log when it is read).
  screen.wait_frames(3);
  std::string audio = screen.find("audio "), shown_rate = screen.find("display "), xruns = screen.find("xruns ");
  auto one_of_last_two = [](std::vector<double> values, double scale, const char* format, const std::string& text) {
    for (size_t i = values.size() > 2 ? values.size() - 2 : 0; i < values.size(); ++i) {
      char said[64];
      std::snprintf(said, sizeof said, format, values[i] * scale);
      if (said == text) return true;
    }
    return false;
  };
  EXPECT_TRUE(one_of_last_two(printed(out(), "audio-fps: ", "cpu-load: "), 100.0, "audio %.1f%%", audio)) << audio;
  EXPECT_TRUE(one_of_last_two(printed(out(), "display-fps: ", "display-fps: "), 1.0, "display %.1f fps", shown_rate))
      << shown_rate;
  // The audio server's xruns have no line of their own: the count is whole and not negative.
  int count = -1;
  char tail = 0;
  EXPECT_EQ(std::sscanf(xruns.c_str(), "xruns %d%c", &count, &tail), 1) << xruns;
  EXPECT_GE(count, 0);
  ASSERT_TRUE(editor->wait_for_output("recording stopped, ", 30)) << out();
  auto first = recorder_line(out(), "recording to ", 0), stopped1 = recorder_line(out(), ": recorded ", 0);
  EXPECT_NE(out().find("recording stopped, File too large: recorded " + first.first), std::string::npos) << out();
  EXPECT_EQ(stopped1.first, first.first);
  EXPECT_LE(size_on_disk(first.first), file_limit);

  // The program plays on: a second recording, with the key, stopped with the panel's button.
  const size_t stop1_at = out().size();
  screen.key("r");
  ASSERT_TRUE(editor->wait_for_output("recording to " + folder.path() + "/recordings/kelvarin-", 30));
  ASSERT_NE(screen.find("rec 0:01"), "");
  ASSERT_TRUE(screen.click("rec "));
  ASSERT_TRUE(editor->wait_for_output("\nrecorded " + folder.path(), 30)) << out();
  auto second = recorder_line(out(), "recording to ", 1), stopped2 = recorder_line(out(), "\nrecorded ", 0);
  EXPECT_EQ(stopped2.first, second.first);
  EXPECT_NE(second.first, first.first);
  EXPECT_GE(printed(out().substr(stop1_at), "audio-fps: ", "cpu-load: ").size(), 1u)
      << "the audio statistics go on after the failed recording";
  EXPECT_EQ(heard.wait_exit(60), 0);

  for (int switches = 1; switches <= 2; ++switches) {
    screen.key("alt+Return");
    EXPECT_TRUE(eventually([&] { return count_of(out(), "switching to fullscreen mode") >= switches; }, 10));
    int frames = count_of(out(), "display-fps: ");  // lines after the switch: the new window draws
    EXPECT_TRUE(eventually([&] { return count_of(out(), "display-fps: ") > frames; }, 25)) << "goes on drawing";
  }
  EXPECT_EQ(count_of(out(), "switching to fullscreen mode"), 2);
  EXPECT_EQ(out().find("switching to windowed mode"), std::string::npos);

  // A third recording still running when the program quits is closed with everything the ring held.
  screen.key("r");
  ASSERT_NE(screen.find("rec 0:01"), "");
  EXPECT_EQ(quit(*editor), 0);
  auto third = recorder_line(out(), "recording to ", 2), stopped3 = recorder_line(out(), "\nrecorded ", 1);
  EXPECT_EQ(stopped3.first, third.first);
  EXPECT_NEAR(read_wav(third.first).seconds(), stopped3.second, 0.051);

  recording whole = read_wav(heard_wav);
  ASSERT_GT(whole.seconds(), 10.0);
  for (const auto& [path, seconds] : {stopped1, stopped2}) {
    recording part = read_wav(path);
    SCOPED_TRACE(path);
    EXPECT_NEAR(part.seconds(), seconds, 0.051) << "the seconds the line reports are in the file";
    EXPECT_GT(part.seconds(), 0.9);
    EXPECT_GT(part.rms(0, part.seconds()), 1e-3) << "slot 0 is audible";
    long offset = offset_in(whole, part);
    ASSERT_GE(offset, 0) << "the recording's start is found in what jack_rec heard";
    EXPECT_EQ(mismatches(whole, part, offset), 0u) << "sample for sample what went out";
    if (path != stopped1.first) continue;
    double end = double(offset) / 44100.0 + part.seconds();
    EXPECT_GT(seconds, 2.0) << "stopped half way by the limit, not at once";
    EXPECT_GT(whole.rms(end + 0.5, end + 1.5), 1e-3) << "the sound goes on after the recording stopped";
  }
}

// Escape ends the process while audio and MIDI run, right after the window or after audio statistics;
// without an X display GLUT says so and the program ends with status 1, its audio having started.
TEST_F(Acceptance, EveryStartEndsCleanlyWithOrWithoutADisplay) {
  for (int cycle = 0; cycle < 4; ++cycle) {
    auto program = start({"kelvarin"});
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
    std::string name = folder.file("save-" + std::to_string(slot) + ".dat"), wav = name + ".wav", text = name + ".txt";
    int status[3];
    run_command("'" + program("kelvarin-render") + "' --slot '" + name + "' --seconds 6 --float '" + wav + "'", &status[0]);
    recording r = read_wav(wav);
    ASSERT_NEAR(r.seconds(), 6.0, 0.05) << name;
    EXPECT_GT(r.rms(3.5, 6.0), 0.003) << name << " sounds";
    EXPECT_LT(r.peak(), 1.5) << name << " stays bounded and finite";
    run_command("'" + program("kelvarin-preset") + "' dump '" + name + "' > '" + text + "'", &status[1]);
    run_command("'" + program("kelvarin-preset") + "' build '" + text + "' '" + wav + "'", &status[2]);
    EXPECT_EQ(std::vector<int>(status, status + 3), std::vector<int>(3, 0)) << name;
    EXPECT_EQ(size_on_disk(name), 4756);
    EXPECT_TRUE(read_bytes(wav) == read_bytes(name)) << name << " comes back byte for byte";
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
