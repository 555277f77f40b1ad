// Raster display frames at 32 and 16 bits, the reshape's letterbox bars and the exit of a window
// showing a none frame, read back from a probe program driving the display layer under Xvfb.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <initializer_list>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/servers.hpp"

namespace {

struct rgb {
  int r = -1, g = -1, b = -1;
};

// "pixel NAME R G B" lines of the probe's output.
std::map<std::string, rgb> pixels_of(const std::string& output) {
  std::map<std::string, rgb> pixels;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    char name[32];
    rgb p;
    if (std::sscanf(line.c_str(), "pixel %31s %d %d %d", name, &p.r, &p.g, &p.b) == 4) pixels[name] = p;
  }
  return pixels;
}

void expect_near(const rgb& seen, rgb want, int tolerance, const std::string& where) {
  EXPECT_NEAR(seen.r, want.r, tolerance) << where;
  EXPECT_NEAR(seen.g, want.g, tolerance) << where;
  EXPECT_NEAR(seen.b, want.b, tolerance) << where;
}

// Xvfb at a colour depth the shared fixture does not offer, on a free display, stopped by its id.
class xvfb_at_depth {
 public:
  explicit xvfb_at_depth(int depth) {
    for (int n = 900 + getpid() % 90;; ++n) {
      struct stat st;
      std::string lock = "/tmp/.X" + std::to_string(n) + "-lock", socket = "/tmp/.X11-unix/X" + std::to_string(n);
      if (stat(lock.c_str(), &st) != 0 && stat(socket.c_str(), &st) != 0) {
        number_ = n;
        break;
      }
    }
    std::string screen = "1280x800x" + std::to_string(depth);
    process_ = std::make_unique<child_process>(
        std::vector<std::string>{"Xvfb", name(), "-screen", "0", screen, "-nolisten", "tcp"});
    std::string socket = "/tmp/.X11-unix/X" + std::to_string(number_);
    for (int i = 0; i < 300 && !ready_; ++i) {
      struct stat st;
      ready_ = stat(socket.c_str(), &st) == 0;
      if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  std::string name() const { return ":" + std::to_string(number_); }
  bool ready() const { return ready_; }

 private:
  int number_ = -1;
  bool ready_ = false;
  std::unique_ptr<child_process> process_;
};

// Runs the probe on a display; returns its output after checking that it ended by itself with status 0
// and "quit": a none frame in a window ends the program.
std::string run_probe(const std::string& display, const std::string& mode, bool resize = false) {
  setenv("DISPLAY", display.c_str(), 1);
  child_process probe({binary_dir() + "/bin/display_probe", mode});
  EXPECT_TRUE(probe.wait_for_output("Status: Using GLEW", 20)) << probe.output();
  // The window maps after the loop starts: resize what lies under the pointer until the probe, having
  // seen the new size, ends.
  for (int i = 0; resize && i < 50 && probe.running(); ++i) {
    std::string window = run_command("xdotool mousemove 400 300 sleep 0.1 getmouselocation --shell | "
                                     "sed -n 's/^WINDOW=//p' | tr -d '\\n'");
    run_command("xdotool windowsize " + window + " 1000 1000 2>/dev/null");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  EXPECT_EQ(probe.wait_exit(20), 0) << probe.output();
  std::string out = probe.output();
  EXPECT_EQ(out.substr(out.size() >= 4 ? out.size() - 4 : 0), "quit") << out;
  return out;
}

}  // namespace

TEST(RasterFrames, WordsAndFloatsAt32BitsFillTheWindowFirstRowOnTop) {
  xvfb_display xvfb(1280, 800);
  ASSERT_TRUE(xvfb.ready());
  std::string words = run_probe(xvfb.name(), "raster-i32");
  EXPECT_NE(words.find("raster 904 509 904"), std::string::npos) << words;  // the window's size
  auto p = pixels_of(words);
  EXPECT_EQ(words.find("bpp 32"), words.find("bpp "));
  for (const char* left : {"bottom-left", "top-left"}) expect_near(p[left], {255, 0, 0}, 0, left);
  for (const char* right : {"bottom-right", "top-right"}) expect_near(p[right], {0, 0, 255}, 0, right);

  std::string floats = run_probe(xvfb.name(), "raster-float96");
  p = pixels_of(floats);
  expect_near(p["top-left"], {0, 255, 0}, 0, "floats, first rows clamped to green");
  expect_near(p["top-right"], {0, 255, 0}, 0, "floats, first rows clamped to green");
  expect_near(p["bottom-left"], {127, 127, 127}, 0, "floats, last rows grey");
}

TEST(RasterFrames, At16BitsTheRasterIsConvertedTo565) {
  xvfb_at_depth xvfb(16);
  ASSERT_TRUE(xvfb.ready());
  std::string words = run_probe(xvfb.name(), "raster-i32");
  EXPECT_NE(words.find("WARNING: bpp is 5/6/5."), std::string::npos) << words;
  EXPECT_NE(words.find("bpp 16"), std::string::npos) << words;
  auto p = pixels_of(words);
  expect_near(p["bottom-left"], {255, 0, 0}, 0, "words at 16 bits, red");
  expect_near(p["top-right"], {0, 0, 255}, 0, "words at 16 bits, blue");

  std::string floats = run_probe(xvfb.name(), "raster-float96");
  p = pixels_of(floats);
  expect_near(p["top-left"], {0, 255, 0}, 0, "floats at 16 bits, green");
  // Grey 0.5 is 15/31 red and blue, 31/63 green: a little below the 32-bit 127.
  expect_near(p["bottom-left"], {123, 125, 123}, 3, "floats at 16 bits, grey");
  EXPECT_LT(p["bottom-left"].r, 127);
}

TEST(Reshape, ASquareWindowShowsThePictureBetweenBarsAboveAndBelow) {
  xvfb_display xvfb(1280, 1100);  // room for a 1000 x 1000 window at (100, 100)
  ASSERT_TRUE(xvfb.ready());
  std::string out = run_probe(xvfb.name(), "letterbox", true);
  auto p = pixels_of(out);
  ASSERT_EQ(p.size(), 7u) << out;
  // 16:9 in 1000 x 1000: viewport (0, 219, 1000, 562), rows 219 to 780.
  for (const char* bar : {"row100", "row218", "row781", "row900"}) expect_near(p[bar], {0, 0, 0}, 0, bar);
  for (const char* picture : {"row219", "row500", "row780"}) expect_near(p[picture], {255, 255, 255}, 0, picture);
}
