// Recording as a performer records: the real editor on a JACK dummy server and Xvfb, a slot loaded with
// the mouse, "r" and the "rec" button, a file size limit that stops the first recording half way, what
// jack_rec heard at the same time, and the health figures on the panel against the printed lines.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/acceptance/observe.hpp"
#include "tests/acceptance/screen_labels.hpp"
#include "tests/support/servers.hpp"

namespace {

constexpr long file_limit = 1500000;  // bytes: about 4.2 s of 32-bit float stereo at 44100 Hz

// One recorder line: "recording to PATH", "recorded PATH (S s)" or "recording stopped, WHY: recorded PATH (S s)".
struct recorder_line {
  std::string path;
  double seconds = -1;
};
bool nth_line(const std::string& out, const std::string& marker, int n, recorder_line* line) {
  size_t at = std::string::npos;
  for (int i = 0; i <= n; ++i)
    if ((at = out.find(marker, at == std::string::npos ? 0 : at + 1)) == std::string::npos) return false;
  size_t from = at + marker.size();
  std::string rest = out.substr(from, out.find('\n', from) - from);
  size_t open = rest.rfind(" (");
  line->path = open == std::string::npos ? rest : rest.substr(0, open);
  if (open != std::string::npos) line->seconds = std::atof(rest.c_str() + open + 2);
  return true;
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

std::string formatted(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// jack_rec stores 32-bit integers: a float comes back within one step of 2^-31 and its own rounding.
bool same_sample(float a, float b) { return std::fabs(double(a) - b) <= 1e-9 + 1.2e-7 * std::fabs(double(a)); }

// Where `part` starts inside `whole`: its first 2048 frames from the first audible one must match.
long offset_in(const recording& whole, const recording& part) {
  size_t a = 0;
  while (a < part.left.size() && std::fabs(part.left[a]) < 1e-3f) ++a;
  if (a + 2048 > part.left.size()) return -1;
  for (size_t k = a; k + 2048 <= whole.left.size(); ++k) {
    size_t i = 0;
    while (i < 2048 && same_sample(whole.left[k + i], part.left[a + i]) && same_sample(whole.right[k + i], part.right[a + i]))
      ++i;
    if (i == 2048) return long(k - a);
  }
  return -1;
}

// Frames of `part` that differ from `whole` at the offset, counting those `whole` does not cover.
size_t mismatches(const recording& whole, const recording& part, long offset) {
  size_t wrong = 0;
  for (size_t i = 0; i < part.left.size(); ++i) {
    long k = offset + long(i);
    bool covered = k >= 0 && size_t(k) < whole.left.size();
    wrong += !covered || !same_sample(whole.left[size_t(k)], part.left[i]) || !same_sample(whole.right[size_t(k)], part.right[i]);
  }
  return wrong;
}

long file_size(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

}  // namespace

TEST(Recording, KeyButtonLimitAndHealthOnTheRealEditor) {
  jack_server jack("recording");
  ASSERT_TRUE(jack.ready());
  xvfb_display x;
  ASSERT_TRUE(x.ready());
  scratch_resources folder;
  screen_labels screen(x.name());
  std::vector<std::string> env = screen.env();
  env.push_back("KELVARIN_RESOURCES=" + folder.path());
  child_process editor({"prlimit", "--fsize=" + std::to_string(file_limit), program("kelvarin-editor")}, env);
  ASSERT_TRUE(editor.wait_for_output("Status: Using GLEW", 60)) << editor.output();
  ASSERT_TRUE(screen.find_window());
  ASSERT_TRUE(screen.click("[0]"));  // the shipped slot 0: sound to record
  shown_label l;
  ASSERT_TRUE(screen.find("MSG: loaded succesfully.", &l));

  const std::string heard_wav = folder.file("heard.wav");
  std::vector<std::string> ports = output_ports();
  ASSERT_EQ(ports.size(), 2u);
  child_process heard({"jack_rec", "-f", heard_wav, "-d", "20", "-b", "32", "-B", "1048576", ports[0], ports[1]});
  for (int i = 0; i < 200 && run_command("jack_lsp -c").find("\n   jackrec:input2") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // jack_rec hears from its connection on

  // The first recording, started with the key, runs into the file size limit.
  screen.key("r");
  ASSERT_TRUE(editor.wait_for_output("recording to ", 30)) << editor.output();
  EXPECT_TRUE(screen.find("rec 0:02", &l)) << "the running time on the rec button";

  // Health: what the input row shows is what the last statistics lines said (the figures change once a
  // second, so the row may be one line behind the log when it is read).
  screen.wait_frames(3);
  std::vector<shown_label> row = screen.read();
  std::string out = editor.output();
  auto shown = [&](const std::string& prefix) {
    for (const shown_label& s : row)
      if (s.text.compare(0, prefix.size(), prefix) == 0) return s.text;
    return std::string("none");
  };
  auto one_of_last_two = [](const std::vector<double>& values, const char* format, const std::string& text) {
    for (size_t i = values.size() > 2 ? values.size() - 2 : 0; i < values.size(); ++i)
      if (formatted(format, values[i]) == text) return true;
    return false;
  };
  std::vector<double> loads = printed(out, "audio-fps: ", "cpu-load: "), rates = printed(out, "display-fps: ", "display-fps: ");
  for (double& load : loads) load *= 100.0;
  ASSERT_GE(loads.size(), 2u);
  ASSERT_GE(rates.size(), 1u);
  EXPECT_TRUE(one_of_last_two(loads, "audio %.1f%%", shown("audio "))) << shown("audio ") << " vs " << loads.back();
  EXPECT_TRUE(one_of_last_two(rates, "display %.1f fps", shown("display "))) << shown("display ") << " vs " << rates.back();
  // The audio server's xruns have no line of their own: the count is whole and not negative.
  int xruns = -1;
  char tail = 0;
  EXPECT_EQ(std::sscanf(shown("xruns ").c_str(), "xruns %d%c", &xruns, &tail), 1) << shown("xruns ");
  EXPECT_GE(xruns, 0);

  ASSERT_TRUE(editor.wait_for_output("recording stopped, ", 30)) << editor.output();
  recorder_line started1, stopped1;
  ASSERT_TRUE(nth_line(editor.output(), "recording to ", 0, &started1));
  ASSERT_TRUE(nth_line(editor.output(), ": recorded ", 0, &stopped1));
  EXPECT_NE(editor.output().find("recording stopped, File too large: recorded " + started1.path), std::string::npos)
      << editor.output();
  EXPECT_EQ(stopped1.path, started1.path);
  EXPECT_LE(file_size(started1.path), file_limit);

  // The program plays on: a second recording, with the key, stopped with the panel's button.
  const size_t stop1_at = editor.output().size();
  screen.key("r");
  ASSERT_TRUE(editor.wait_for_output("recording to " + folder.path() + "/recordings/kelvarin-", 30));
  recorder_line started2, stopped2;
  ASSERT_TRUE(screen.find("rec 0:01", &l));
  ASSERT_TRUE(screen.click("rec "));
  ASSERT_TRUE(editor.wait_for_output("recorded " + folder.path(), 30)) << editor.output();
  ASSERT_TRUE(nth_line(editor.output(), "recording to ", 1, &started2));
  ASSERT_TRUE(nth_line(editor.output(), "\nrecorded ", 0, &stopped2));
  EXPECT_EQ(stopped2.path, started2.path);
  EXPECT_NE(started2.path, started1.path);
  EXPECT_GE(printed(editor.output().substr(stop1_at), "audio-fps: ", "cpu-load: ").size(), 1u)
      << "the audio statistics go on after the failed recording";

  EXPECT_EQ(heard.wait_exit(60), 0);
  // A third recording still running when the program quits is closed with everything the ring held.
  screen.key("r");
  recorder_line started3, stopped3;
  ASSERT_TRUE(screen.find("rec 0:01", &l));
  screen.key("Escape");
  EXPECT_EQ(editor.wait_exit(30), 0) << editor.output();
  ASSERT_TRUE(nth_line(editor.output(), "recording to ", 2, &started3));
  ASSERT_TRUE(nth_line(editor.output(), "\nrecorded ", 1, &stopped3)) << editor.output();
  EXPECT_EQ(stopped3.path, started3.path);
  EXPECT_NEAR(read_wav(started3.path).seconds(), stopped3.seconds, 0.051);
  EXPECT_LT(editor.output().find("\nrecorded " + started3.path), editor.output().find("quit"));

  recording whole = read_wav(heard_wav);
  ASSERT_GT(whole.seconds(), 10.0);
  for (const recorder_line* r : {&stopped1, &stopped2}) {
    recording part = read_wav(r->path);
    SCOPED_TRACE(r->path);
    EXPECT_NEAR(part.seconds(), r->seconds, 0.051) << "the seconds the line reports are in the file";
    EXPECT_GT(part.seconds(), 0.9);
    EXPECT_GT(part.rms(0, part.seconds()), 1e-3) << "slot 0 is audible";
    long offset = offset_in(whole, part);
    EXPECT_GE(offset, 0) << "the recording's start is found in what jack_rec heard";
    if (offset < 0) continue;
    EXPECT_EQ(mismatches(whole, part, offset), 0u) << "sample for sample what went out";
    if (r == &stopped1) {
      double end = double(offset) / 44100.0 + part.seconds();
      EXPECT_GT(stopped1.seconds, 2.0) << "stopped half way by the limit, not at once";
      EXPECT_GT(whole.rms(end + 0.5, end + 1.5), 1e-3) << "the sound goes on after the recording stopped";
    }
  }
  if (HasFailure()) {
    std::printf("%s\n", editor.output().c_str());
    run_command("cp -r '" + folder.path() + "' '" + binary_dir() + "/recording-test-failed'");
  }
}
