// The shipped programs started as a user starts them, on a JACK dummy server and an Xvfb display, with a
// scratch copy of the shipped resources: what is heard, seen, recorded, written and printed.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/acceptance/observe.hpp"
#include "tests/support/servers.hpp"

namespace {
using clock_type = std::chrono::steady_clock;
double since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }
void pause_until(clock_type::time_point t, double s) { std::this_thread::sleep_until(t + std::chrono::milliseconds(long(s * 1000))); }

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

// The first group (or an empty text) of every match of `pattern` in a program's output, in order.
std::vector<std::string> said(const std::string& out, const std::string& pattern) {
  std::vector<std::string> found;
  std::regex re(pattern);
  for (auto m = std::sregex_iterator(out.begin(), out.end(), re); m != std::sregex_iterator(); ++m)
    found.push_back((*m)[1]);
  return found;
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
  static int quit(child_process& p) {
    run_command("xdotool mousemove 400 300 key Escape");
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
    EXPECT_EQ(record_output(folder.file("demo.wav"), 61.0 - since(started))->wait_exit(90), 0);
    heard = read_wav(folder.file("demo.wav"));
    heard_from = since(started) - heard.seconds();  // jack_rec's end is seen, its start is not
  });
  auto window_up = clock_type::now();  // the display clock starts before the window exists
  double title_off = closest_to_title(window_up, 2.5);
  // Then a screen every half second to the end (or as fast as the shared machine grabs them).
  picture visuals, later;
  double last = 0, widest = 0, dark_from = -1, longest = 0;  // seconds since the start
  int screens = 0;
  for (double next = 3.0; player->running(); next += 0.5, ++screens) {
    pause_until(window_up, next);
    picture p = shot();
    if (p.empty() || !player->running()) break;
    if (visuals.empty() && since(window_up) >= 5.0) visuals = p;
    if (later.empty() && since(window_up) >= 6.0) later = p;
    double at = since(started);
    widest = std::max(widest, screens ? at - last : 0.0);
    last = at;
    bool dark = share_of(p, 0, 0, 0, 32) > 0.98;  // fewer than 2 % of the pixels lit above 32 of 255
    if (dark && dark_from < 0) dark_from = at;
    if (!dark && dark_from >= 0) longest = std::max(longest, at - dark_from);
    if (!dark) dark_from = -1;
  }
  if (dark_from >= 0) longest = std::max(longest, last - dark_from);
  int status = player->wait_exit(100);
  double lifetime = since(started);
  recorder.join();
  std::string out = player->output();
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("quit"), std::string::npos);
  EXPECT_LT(out.find("device 0\n"), out.find("Status: Using GLEW")) << "audio starts before the display";
  EXPECT_GT(said(out, "display-fps: ").size(), 10u);
  EXPECT_GT(lifetime, 59.7);
  EXPECT_LT(lifetime, 66.0);

  std::printf("screens: title %.1f off the title image, visuals %.1f off it, moved by %.1f; %d screens, longest "
              "dark stretch %.1f s\n", title_off, off_title(visuals), difference(visuals, later, 0), screens, longest);
  EXPECT_LT(title_off, 12.0);
  EXPECT_GT(off_title(visuals), 3.0 * title_off + 10.0);
  EXPECT_GT(difference(visuals, later, 0), 0.0);
  EXPECT_GT(screens, 20);
  EXPECT_GT(last, 58.0);
  EXPECT_LE(widest, 2.0) << "screens close enough together to see a black stretch";
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
    EXPECT_GT(c[10], 0.005) << "slot " << slot << " sounds";
    if (slot > 0) { EXPECT_TRUE(differs(previous, c)) << "the sound changes when slot " << slot << " loads"; }
    previous = c;
  }
  EXPECT_LT(heard.peak(), 1.5) << "bounded and finite";
}

// The plain build shows the title over the panel, then the panel, and goes on with no playlist to play;
// without an X display GLUT says so and the program ends with status 1, its audio having started.
TEST_F(Acceptance, ThePlainBuildShowsTheTitleThenThePanelAndNoDisplayEndsTheProgram) {
  auto plain = start({"kelvarin-plain"});
  auto started = clock_type::now();
  EXPECT_LT(closest_to_title(started, 2.5), 12.0);
  pause_until(started, 5.0);
  EXPECT_GT(off_title(shot()), 30.0);
  EXPECT_TRUE(plain->running()) << "no playlist replay: it goes on";
  EXPECT_EQ(quit(*plain), 0);
  child_process blind({"env", "DISPLAY=", program("kelvarin")});
  EXPECT_EQ(blind.wait_exit(30), 1) << blind.output();
  EXPECT_NE(blind.output().find("device 0\n"), std::string::npos);
  EXPECT_NE(blind.output().find("freeglut (title): failed to open display"), std::string::npos);
}

// The editor as a performer records with it: no title, a slot loaded with the mouse, "r" and the "rec"
// button, a file size limit that stops the first recording half way, each recording's start found in
// what jack_rec heard, the panel's health figures against the printed statistics, full screen (which
// Xvfb cannot give) falling back to a window that goes on drawing, and a recording closed by the quit.
TEST_F(Acceptance, TheEditorRecordsWhatGoesOutAndFallsBackToAWindow) {
  constexpr long file_limit = 2200000;  // bytes: about 6.2 s of 32-bit float stereo at 44100 Hz
  screen_labels screen(display->name());
  auto editor = start({"prlimit", "--fsize=" + std::to_string(file_limit), "kelvarin-editor"}, screen.env());
  auto out = [&] { return editor->output(); };
  for (auto t = clock_type::now(); since(t) < 2.0;) ASSERT_GT(off_title(shot()), 12.0) << "no title";
  ASSERT_TRUE(screen.click("[0]"));  // the shipped slot 0: sound to record
  ASSERT_NE(screen.find("MSG: loaded succesfully.").text, "");
  auto heard = record_output(folder.file("heard.wav"), 24);

  // The first recording, started with the key, runs into the file size limit.
  screen.key("r");
  ASSERT_TRUE(editor->wait_for_output("recording to ", 30)) << out();
  EXPECT_NE(screen.find("rec 0:02").text, "") << "the running time on the rec button";
  // Health: what the input row shows is what one of the last statistics lines said (the figures change
  // once a second, and on a busy machine the drawn row may be a few lines behind the log when it is read).
  screen.wait_frames(3);
  std::vector<shown_label> row = screen.read();
  const std::string log = out();
  auto shown = [&](const std::string& prefix) {
    for (const shown_label& l : row)
      if (l.text.compare(0, prefix.size(), prefix) == 0) return l.text;
    return std::string("none");
  };
  std::string audio = shown("audio "), rate = shown("display "), xruns = shown("xruns ");
  auto one_of_the_last = [](std::vector<std::string> values, double scale, const char* format, const std::string& text) {
    for (size_t i = values.size() > 5 ? values.size() - 5 : 0; i < values.size(); ++i) {
      char line[64];
      std::snprintf(line, sizeof line, format, std::atof(values[i].c_str()) * scale);
      if (line == text) return true;
    }
    return false;
  };
  EXPECT_TRUE(one_of_the_last(said(log, "cpu-load: ([0-9.]+)"), 100.0, "audio %.1f%%", audio)) << audio;
  EXPECT_TRUE(one_of_the_last(said(log, "display-fps: ([0-9.]+)"), 1.0, "display %.1f fps", rate)) << rate;
  // The audio server's xruns have no line of their own: the count is whole and not negative.
  EXPECT_TRUE(std::regex_match(xruns, std::regex("xruns [0-9]+"))) << xruns;
  ASSERT_TRUE(editor->wait_for_output("recording stopped, ", 30)) << out();
  std::string first = said(out(), "recording to (\\S+)").at(0);
  EXPECT_NE(out().find("recording stopped, File too large: recorded " + first + " ("), std::string::npos) << out();
  EXPECT_LE(size_on_disk(first), file_limit);

  // The program plays on: a second recording, with the key, stopped with the panel's button.
  const size_t stop1_at = out().size();
  screen.key("r");
  ASSERT_TRUE(editor->wait_for_output("recording to " + folder.path() + "/recordings/kelvarin-", 30));
  ASSERT_NE(screen.find("rec 0:01").text, "");
  ASSERT_TRUE(screen.click("rec "));
  ASSERT_TRUE(editor->wait_for_output("\nrecorded " + folder.path(), 30)) << out();
  EXPECT_NE(said(out(), "recording to (\\S+)").at(1), first);
  EXPECT_GE(said(out().substr(stop1_at), "cpu-load: ([0-9.]+)").size(), 1u)
      << "the audio statistics go on after the failed recording";
  EXPECT_EQ(heard->wait_exit(60), 0);

  for (int switches = 1; switches <= 2; ++switches) {
    screen.key("alt+Return");
    EXPECT_TRUE(eventually([&] { return said(out(), "switching to fullscreen mode").size() >= size_t(switches); }, 10));
    size_t frames = said(out(), "display-fps: ").size();  // lines after the switch: the new window draws
    EXPECT_TRUE(eventually([&] { return said(out(), "display-fps: ").size() > frames; }, 25)) << "goes on drawing";
  }
  EXPECT_EQ(said(out(), "switching to fullscreen mode").size(), 2u);
  EXPECT_EQ(out().find("switching to windowed mode"), std::string::npos);

  // A third recording still running when the program quits is closed with everything the ring held.
  screen.key("r");
  ASSERT_NE(screen.find("rec 0:01").text, "");
  EXPECT_EQ(quit(*editor), 0);
  std::vector<std::string> started = said(out(), "recording to (\\S+)"), ended = said(out(), "recorded (\\S+) \\(");
  std::vector<std::string> seconds = said(out(), "recorded \\S+ \\(([0-9.]+) s\\)");
  ASSERT_EQ(ended.size(), 3u) << out();
  EXPECT_EQ(started, ended) << "every recording is closed under its own name";
  recording whole = read_wav(folder.file("heard.wav"));
  ASSERT_GT(whole.seconds(), 10.0);
  for (int i = 0; i < 3; ++i) {
    recording part = read_wav(ended[i]);
    SCOPED_TRACE(ended[i]);
    EXPECT_NEAR(part.seconds(), std::atof(seconds[i].c_str()), 0.051) << "the seconds the line reports are in the file";
    EXPECT_GT(part.seconds(), 0.9);
    EXPECT_GT(part.rms(0, part.seconds()), 1e-3) << "slot 0 is audible";
    if (i == 2) continue;  // after jack_rec's 24 seconds
    long offset = offset_in(whole, part);
    ASSERT_GE(offset, 0) << "the recording's start is found in what jack_rec heard";
    double end = double(offset) / 44100.0 + part.seconds();
    if (i == 0) { EXPECT_GT(part.seconds(), 3.0) << "stopped half way by the limit, not at once"; }
    if (i == 0) { EXPECT_GT(whole.rms(end + 0.5, end + 1.5), 1e-3) << "the sound goes on after it stopped"; }
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
  for (const char* line : {"No display found: playing the demo under a virtual display (Xvfb :", "Could not find adequate device.", "quit"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

// Installing as a user installs: `cmake --install` into a scratch prefix and a Debian package that depends
// on every library the programs link; then the installed editor and demo run as an unprivileged user,
// keeping their files in that user's data folder.
TEST_F(Acceptance, InstalledProgramsKeepTheUsersFilesInTheDataFolder) {
  const std::string prefix = folder.file("prefix"), home = prefix + "/home", data = home + "/.local/share/kelvarin";
  const std::string nobody = "65534";
  // The user may enter the prefix, not write it.
  std::string log = run_command("chmod 755 '" + folder.path() + "' && cmake --install '" + binary_dir() +
                                "' --prefix '" + prefix + "' 2>&1 && chmod -R go+rX '" + prefix + "'");
  ASSERT_NE(log.find("Installing"), std::string::npos) << log;
  EXPECT_NE(read_bytes(prefix + "/share/applications/kelvarin.desktop").find("\nExec=" + prefix + "/bin/kelvarin\n"),
            std::string::npos) << "the menu entry starts the installed demo";
  const std::string deb = folder.file("deb"), bin = "'" + prefix + "/lib/kelvarin/kelvarin'";
  log = run_command("cd '" + binary_dir() + "' && cpack -G DEB -B '" + deb + "' 2>&1");
  std::string depends = run_command("dpkg-deb -f '" + deb + "'/kelvarin_*.deb Depends");
  std::string linked = run_command("for n in $(objdump -p " + bin + " | awk '/NEEDED/{print $2}'); do ldd " + bin +
                                   " | awk -v n=$n '$1==n{print $3}'; done | xargs -n1 realpath | "
                                   "xargs dpkg -S 2>/dev/null | cut -d: -f1 | sort -u");
  std::istringstream packages(linked);
  int count = 0;
  for (std::string package; packages >> package; ++count)
    EXPECT_NE(depends.find(package), std::string::npos) << package << " is linked; Depends: " << depends << log;
  EXPECT_GE(count, 8) << linked;

  // The user's own short playlist is already there (slot 5, then the end): the first start must keep it.
  std::ofstream(folder.file("short.txt")) << "load 3500 5\nend 6000\n";
  int status = -1;
  run_command("mkdir -p '" + data + "' && '" + program("kelvarin-preset") + "' playlist '" + folder.file("short.txt") +
              "' '" + data + "/playlist' && chown -R " + nobody + ":" + nobody + " '" + home + "'", &status);
  ASSERT_EQ(status, 0);
  const std::string short_playlist = read_bytes(data + "/playlist");
  auto as_user = [&](const std::string& name, std::vector<std::string> env) {
    std::vector<std::string> argv = {"setpriv", "--reuid", nobody, "--regid", nobody, "--clear-groups", "env", "-u",
                                     "KELVARIN_RESOURCES", "-u", "XDG_DATA_HOME", "-u", "JACK_DEFAULT_SERVER",
                                     "HOME=" + home, prefix + "/bin/" + name};
    return std::make_unique<child_process>(argv, env);
  };
  screen_labels screen(display->name());
  auto editor = as_user("kelvarin-editor", screen.env());
  ASSERT_TRUE(editor->wait_for_output("Status: Using GLEW", 60)) << editor->output();
  ASSERT_TRUE(screen.click("saving?"));
  ASSERT_TRUE(screen.click("5"));
  EXPECT_NE(screen.find("MSG: save succesfully.").text, "") << editor->output();
  EXPECT_EQ(size_on_disk(data + "/save-5.dat"), 4756);
  EXPECT_EQ(quit(*editor), 0);
  std::string line = "slots, playlist and recordings live in " + data + "\n", out = editor->output();
  EXPECT_NE(out.find(line), std::string::npos) << out;
  EXPECT_EQ(out.find(line), out.rfind(line)) << "said once";
  EXPECT_EQ(read_bytes(data + "/playlist"), short_playlist) << "a file already there is never replaced";
  for (int slot = 0; slot < 8; ++slot)
    EXPECT_EQ(size_on_disk(data + "/save-" + std::to_string(slot) + ".dat"), 4756) << "seeded slot " << slot;
  EXPECT_EQ(read_bytes(prefix + "/lib/kelvarin/resources/save-5.dat"), read_bytes(binary_dir() + "/presets/save-5.dat"))
      << "nothing written beside the installed program";

  // The installed demo plays the user's playlist (the slot just saved, then the end) and ends with 0.
  auto demo = as_user("kelvarin", {});
  EXPECT_EQ(demo->wait_exit(60), 0) << demo->output();
  EXPECT_NE(demo->output().find("quit"), std::string::npos);
}
