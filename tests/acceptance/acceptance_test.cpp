// The shipped instrument started as a user starts it, on a JACK dummy server and an Xvfb display, with a
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
#include <string>
#include <thread>
#include <vector>

#include "tests/acceptance/observe.hpp"
#include "tests/support/servers.hpp"

namespace {

using clock_type = std::chrono::steady_clock;
double seconds_since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }
void pause(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

void write_text(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
std::string read_bytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The shortened demo: slots loaded at the same time of day as in the shipped playlist's start, three
// seconds apart, then the end. Loud-and-low and high-and-low slots alternate so each change is heard.
constexpr double first_load = 3.5, load_step = 3.0;
constexpr int shortened_slots[] = {0, 4, 6};
constexpr double shortened_end = first_load + 3 * load_step;  // 12.5 s

std::string shortened_playlist() {
  std::string text = "# three slots and the end, for the acceptance run\n";
  for (int i = 0; i < 3; ++i)
    text += "load " + std::to_string(int((first_load + i * load_step) * 1000)) + " " +
            std::to_string(shortened_slots[i]) + "\n";
  return text + "end " + std::to_string(int(shortened_end * 1000)) + "\n";
}

// A sound's character over a span: its level and its spectrum in octave bands (average power of
// Hann-windowed 4096-sample frames), so a change of timbre counts as well as a change of level.
constexpr int bands = 10;  // octaves from 20 Hz up
struct character {
  double rms;
  double band[bands];
};

void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    std::complex<double> w_len = std::polar(1.0, -2.0 * M_PI / double(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (size_t k = 0; k < len / 2; ++k, w *= w_len) {
        std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

character character_of(const recording& r, double from, double to) {
  constexpr size_t n = 4096;
  character c{r.rms(from, to), {}};
  size_t a = size_t(std::max(0.0, from) * 44100), b = std::min(r.left.size(), size_t(std::max(0.0, to) * 44100));
  for (size_t start = a; start + n <= b; start += n) {
    std::vector<std::complex<double>> x(n);
    for (size_t i = 0; i < n; ++i)
      x[i] = (r.left[start + i] + r.right[start + i]) * (0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n)));
    fft(x);
    for (size_t k = 1; k < n / 2; ++k) {
      int band = int(std::floor(std::log2(double(k) * 44100.0 / double(n) / 20.0)));
      if (band >= 0 && band < bands) c.band[band] += std::norm(x[k]);
    }
  }
  return c;
}

// Level apart by more than 30 %, or the spectra apart by more than 3 dB on average over the bands that
// hold any of the sound (within 50 dB of the loudest band of either).
bool differs(const character& a, const character& b) {
  if (std::max(a.rms, b.rms) > 1.3 * std::min(a.rms, b.rms)) return true;
  double loudest = 0, sum = 0;
  for (int i = 0; i < bands; ++i) loudest = std::max({loudest, a.band[i], b.band[i]});
  int counted = 0;
  for (int i = 0; i < bands; ++i) {
    if (std::max(a.band[i], b.band[i]) < loudest * 1e-5) continue;
    double floor = loudest * 1e-5;
    sum += std::fabs(10.0 * std::log10((a.band[i] + floor) / (b.band[i] + floor)));
    ++counted;
  }
  return counted > 0 && sum / counted > 3.0;
}

// The title image stretched over a window of the given size, as the program draws it.
picture title_picture(const std::string& jpg, int width, int height) {
  std::string size = std::to_string(width) + "x" + std::to_string(height);
  std::string out = "/tmp/kv-title-" + std::to_string(getpid()) + ".ppm";
  run_command("/usr/bin/convert '" + jpg + "' -resize " + size + "! -depth 8 " + out);
  picture p;
  std::string data = read_bytes(out);
  std::remove(out.c_str());
  int w = 0, h = 0, used = 0;
  if (std::sscanf(data.c_str(), "P6 %d %d 255%n", &w, &h, &used) == 2 && data.size() >= size_t(used) + 1 + size_t(w) * h * 3) {
    p.width = w, p.height = h;
    p.rgb.assign(data.begin() + used + 1, data.begin() + used + 1 + long(w) * h * 3);
  }
  return p;
}

// The instrument's output recorded on a thread of its own, from the moment its ports exist until `until`
// seconds after `started` (the program's start).
class background_recording {
 public:
  background_recording(clock_type::time_point started, double until, const std::string& wav)
      : thread_([this, started, until, wav] {
          output_ports();
          heard = record_output(wav, until - seconds_since(started));
          // jack_rec's start is not seen from here, its end is: it stops right after its last block.
          starts = seconds_since(started) - heard.seconds();
        }) {}
  void join() { thread_.join(); }
  recording heard;
  double starts = 0;  // seconds after the program's start

 private:
  std::thread thread_;
};

// A replayed playlist as heard: silence until the first load, then each slot's own sound, changing at
// every load. Loads come `step` seconds apart from `first` seconds of display time.
void expect_playlist_heard(const background_recording& r, const std::vector<int>& slots, double first,
                           double step) {
  const recording& heard = r.heard;
  ASSERT_GT(heard.seconds(), first + step * double(slots.size() - 1));
  // The first load brings the first sound: its onset places the playlist on the recording's clock. Before
  // it the front record is the silent one the program starts with, and the first three seconds are silent
  // anyway.
  double onset = -1;
  for (double t = 0; t + 0.05 < heard.seconds() && onset < 0; t += 0.01)
    if (heard.rms(t, t + 0.05) > 1e-3) onset = t;
  std::printf("recording from %.2f s after the start, first sound at %.2f s on it", r.starts, onset);
  ASSERT_GT(onset, 0.0) << "the playlist's slots are heard";
  EXPECT_GT(onset + r.starts, first - 0.3) << "nothing before the first load";
  EXPECT_LT(onset + r.starts, first + 3.0);
  double silent = heard.rms(0.0, onset - 0.3);
  std::vector<character> spans;
  for (size_t i = 0; i < slots.size(); ++i) {
    spans.push_back(character_of(heard, onset + double(i) * step + 0.5, onset + double(i + 1) * step - 0.3));
    std::printf(", slot %d: rms %.4f", slots[i], spans.back().rms);
  }
  std::printf(", before: rms %.6f\n", silent);
  EXPECT_LT(silent, 1e-4) << "silent until the first load";
  for (size_t i = 0; i < slots.size(); ++i) EXPECT_GT(spans[i].rms, 0.005) << "slot " << slots[i] << " sounds";
  for (size_t i = 1; i < slots.size(); ++i)
    EXPECT_TRUE(differs(spans[i - 1], spans[i])) << "the sound changes when slot " << slots[i] << " loads";
  EXPECT_LT(heard.peak(), 1.5) << "bounded and finite";
}

class Acceptance : public testing::Test {
 protected:
  static void SetUpTestSuite() { display = new xvfb_display(1280, 800); }
  static void TearDownTestSuite() {
    delete display;
    display = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(display->ready());
    jack = std::make_unique<jack_server>("accept");
    ASSERT_TRUE(jack->ready());
  }
  std::unique_ptr<child_process> start(const std::string& build) {
    return std::make_unique<child_process>(
        std::vector<std::string>{"env", "KELVARIN_RESOURCES=" + folder.path(), program(build)});
  }
  // The instrument's window: 904 x 509 at (100, 100) on this screen, not full screen (no game mode here).
  picture window_shot() const { return grab(display->name(), 100, 100, 904, 509); }
  std::string shot_path(const std::string& name) const { return binary_dir() + "/acceptance-" + name + ".png"; }

  static xvfb_display* display;
  std::unique_ptr<jack_server> jack;
  scratch_resources folder;
};
xvfb_display* Acceptance::display = nullptr;

}  // namespace

TEST_F(Acceptance, TheDefaultBuildPlaysAPlaylistFromTheTitleToItsEnd) {
  write_text(folder.file("playlist.txt"), shortened_playlist());
  int status = 0;
  run_command("'" + program("kelvarin-preset") + "' playlist '" + folder.file("playlist.txt") + "' '" +
                  folder.file("playlist") + "'",
              &status);
  ASSERT_EQ(status, 0);
  const picture title = title_picture(folder.file("title.jpg"), 904, 509);
  ASSERT_FALSE(title.empty());

  auto started = clock_type::now();
  auto player = start("kelvarin");
  ASSERT_TRUE(player->wait_for_output("Status: Using GLEW", 30)) << player->output();
  background_recording sound(started, shortened_end + 1.0, binary_dir() + "/acceptance-demo.wav");
  pause(std::max(0.0, 1.2 - seconds_since(started)));
  picture during_title = window_shot();
  pause(std::max(0.0, first_load + 1.5 - seconds_since(started)));
  picture visuals = window_shot();
  pause(1.0);
  picture visuals_later = window_shot();
  int exit_status = player->wait_exit(shortened_end + 20);
  double lifetime = seconds_since(started);
  sound.join();
  write_png(during_title, shot_path("title"));
  write_png(visuals, shot_path("visuals"));

  EXPECT_EQ(exit_status, 0) << player->output();
  EXPECT_NE(player->output().find("quit"), std::string::npos);
  EXPECT_GT(lifetime, shortened_end - 0.3) << "ends at the end event";
  EXPECT_LT(lifetime, shortened_end + 5.0);

  double title_off = difference(during_title, title, 0), visuals_off = difference(visuals, title, 0);
  std::printf("screens: title %.1f off the title image, visuals %.1f off it, visuals moved by %.1f\n", title_off,
              visuals_off, difference(visuals, visuals_later, 0));
  EXPECT_LT(title_off, 12.0) << "the title image fills the window during the first three seconds";
  EXPECT_GT(visuals_off, 3.0 * title_off + 10.0) << "then the visuals replace it";
  EXPECT_GT(difference(visuals, visuals_later, 0), 0.0) << "and they move";

  std::printf("shortened demo: ");
  expect_playlist_heard(sound, {std::begin(shortened_slots), std::end(shortened_slots)}, first_load, load_step);
}

// The shipped performance as it stands: every slot in turn, seven seconds each, the end after a minute.
TEST_F(Acceptance, TheShippedDemoWalksThroughEverySlotAndEndsAfterAMinute) {
  auto started = clock_type::now();
  auto player = start("kelvarin");
  ASSERT_TRUE(player->wait_for_output("Status: Using GLEW", 30)) << player->output();
  background_recording sound(started, 61.0, binary_dir() + "/acceptance-full-demo.wav");
  int exit_status = player->wait_exit(100);
  double lifetime = seconds_since(started);
  sound.join();
  EXPECT_EQ(exit_status, 0) << player->output();
  EXPECT_GT(lifetime, 59.7) << "the end event at 60 s";
  EXPECT_LT(lifetime, 66.0);
  std::printf("demo (ended after %.1f s): ", lifetime);
  expect_playlist_heard(sound, {0, 1, 2, 3, 4, 5, 6, 7}, 3.5, 7.0);
}

TEST_F(Acceptance, ThePlainBuildShowsTheTitleOverThePanelThenThePanelWithVisuals) {
  const picture title = title_picture(folder.file("title.jpg"), 904, 509);
  auto started = clock_type::now();
  auto plain = start("kelvarin-plain");
  ASSERT_TRUE(plain->wait_for_output("Status: Using GLEW", 30)) << plain->output();
  pause(std::max(0.0, 1.2 - seconds_since(started)));
  picture during_title = window_shot();
  pause(std::max(0.0, 5.0 - seconds_since(started)));
  picture after = window_shot();
  write_png(during_title, shot_path("plain-title"));
  write_png(after, shot_path("plain-panel"));
  EXPECT_TRUE(plain->running()) << "the plain build has no playlist replay: it goes on";
  run_command("xdotool mousemove 400 300 key Escape");
  EXPECT_EQ(plain->wait_exit(20), 0) << plain->output();

  EXPECT_LT(difference(during_title, title, 0), 12.0) << "the title covers the panel at first";
  // After the title the visuals are drawn over the panel; how much of the white seed is left depends on
  // how many frames the software renderer managed, so only the change from the title is asserted.
  double white = share_of(after, 255, 255, 255, 0), ink = share_of(after, 0, 0, 0, 40);
  std::printf("plain build after the title: %.2f white, %.2f dark\n", white, ink);
  EXPECT_GT(difference(after, title, 0), 30.0);
}

TEST_F(Acceptance, TheRendererPlaysEveryShippedSlot) {
  for (int slot = 0; slot < 8; ++slot) {
    std::string wav = folder.file("slot-" + std::to_string(slot) + ".wav");
    int status = -1;
    std::string out = run_command("'" + program("kelvarin-render") + "' --slot '" +
                                      folder.file("save-" + std::to_string(slot) + ".dat") + "' --seconds 6 --float '" +
                                      wav + "' 2>&1",
                                  &status);
    EXPECT_EQ(status, 0) << out;
    recording r = read_wav(wav);
    ASSERT_NEAR(r.seconds(), 6.0, 0.05) << "slot " << slot;
    double level = r.rms(3.5, 6.0), peak = r.peak();
    std::printf("slot %d rendered: rms %.4f, peak %.3f\n", slot, level, peak);
    EXPECT_GT(level, 0.003) << "slot " << slot << " sounds";
    EXPECT_LT(peak, 1.5) << "slot " << slot << " stays bounded and finite";
  }
}

TEST_F(Acceptance, EveryShippedSlotDumpsToASourceThatBuildsItBack) {
  for (int slot = 0; slot < 8; ++slot) {
    std::string name = "save-" + std::to_string(slot) + ".dat", text = folder.file(name + ".txt");
    int status = -1;
    run_command("'" + program("kelvarin-preset") + "' dump '" + folder.file(name) + "' > '" + text + "'", &status);
    EXPECT_EQ(status, 0) << name;
    std::string rebuilt = folder.file("rebuilt-" + name);
    run_command("'" + program("kelvarin-preset") + "' build '" + text + "' '" + rebuilt + "'", &status);
    EXPECT_EQ(status, 0) << name;
    std::string shipped = read_bytes(folder.file(name));
    EXPECT_EQ(shipped.size(), 4756u) << name;
    EXPECT_TRUE(read_bytes(rebuilt) == shipped) << name << " comes back byte for byte";
  }
}

// make run's script, as on a machine without a display and without an audio device: it says so, plays the
// demo under Xvfb, and the program goes on without sound. The script builds in and plays from the tree's
// "build" folder, so it runs only when that folder is this build.
TEST_F(Acceptance, TheRunScriptPlaysUnderAVirtualDisplayWhenThereIsNone) {
  if (binary_dir() != source_dir() + "/build") GTEST_SKIP() << "the run script plays the tree's build folder only";
  write_text(folder.file("playlist.txt"), "load 3500 1\nend 5000\n");
  int status = -1;
  run_command("'" + program("kelvarin-preset") + "' playlist '" + folder.file("playlist.txt") + "' '" +
                  folder.file("playlist") + "'",
              &status);
  ASSERT_EQ(status, 0);
  // setsid: the script, its Xvfb and the program form one group, stopped together if the test fails.
  child_process script({"env", "-u", "DISPLAY", "JACK_DEFAULT_SERVER=kv-no-such-server", "JACK_NO_START_SERVER=1",
                        "KELVARIN_RESOURCES=" + folder.path(), "setsid", "bash", source_dir() + "/scripts/run.sh"});
  int exit_status = script.wait_exit(180);
  if (exit_status < 0 && script.pid() > 0) kill(-script.pid(), SIGTERM);
  std::string out = script.output();
  EXPECT_EQ(exit_status, 0) << out;
  EXPECT_NE(out.find("No display found: playing the demo under a virtual display (Xvfb :"), std::string::npos) << out;
  EXPECT_NE(out.find("Could not find adequate device."), std::string::npos) << out;
  EXPECT_NE(out.find("quit"), std::string::npos) << out;
}
