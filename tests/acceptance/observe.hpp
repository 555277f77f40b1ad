// What a user sees and hears of the running programs: screen regions read with ImageMagick's import, the
// labels a program shows (through the preloaded label tap), JACK recordings made with jack_rec, files, and
// a scratch copy of the shipped resource folder.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "tests/support/servers.hpp"

// An RGB picture, rows top to bottom.
struct picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  bool empty() const { return rgb.empty(); }
  const unsigned char* at(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

// A rectangle of the screen of `display` (":N"), or an empty picture when import fails.
picture grab(const std::string& display, int x, int y, int width, int height);
// The picture a command prints as a binary PPM (ImageMagick's ppm:-), or an empty one.
picture ppm_from(const std::string& command);
// A rectangle cut out of a picture (clipped to it).
picture cut(const picture& p, int x, int y, int width, int height);
// Mean absolute difference per channel (0..255) of two pictures of one size, the best over shifts of
// `b` by up to `shift` pixels in each direction (two renderings may be placed a pixel apart).
double difference(const picture& a, const picture& b, int shift = 0);
// Fraction of pixels within `tolerance` of the colour (r, g, b).
double share_of(const picture& p, int r, int g, int b, int tolerance = 3);

struct shown_label {
  int x = 0, y = 0;  // screen pixels of a point just inside the label's first glyph
  std::string text;
};
// The labels a running program shows, and clicks on them. The tap writes each frame's labels to a file.
class screen_labels {
 public:
  explicit screen_labels(const std::string& display);  // ":N"
  ~screen_labels();
  std::vector<std::string> env() const;  // makes a program report its labels to this reader
  // The labels of the last frame written (empty before the first); `frame` gets its number.
  std::vector<shown_label> read(long* frame = nullptr) const;
  bool wait_frames(int count) const;  // until `count` frames newer than now are drawn (30 s at most)
  // The first label of the last frame that starts with `prefix`, waiting up to 30 s for one (else empty).
  shown_label find(const std::string& prefix) const;
  void key(const std::string& name) const;  // with the pointer over a label (keyboard focus follows it)
  bool click(const std::string& prefix) const;  // a press and a release, each seen by a few frames

 private:
  void xdotool(const std::string& command) const;
  std::string display_, folder_;
};

// Both channels of a recording, read from a WAV file or recorded from the instrument with jack_rec.
struct recording {
  std::vector<float> left, right;
  double rms(double from, double to) const;  // both channels, seconds from the recording's start
  double peak() const;                       // largest magnitude; infinity when a sample is not finite
  double seconds() const { return double(left.size()) / 44100.0; }
};
recording read_wav(const std::string& path);
// jack_rec recording the instrument's two outputs to `wav` for `seconds`, from once it is connected.
std::unique_ptr<child_process> record_output(const std::string& wav, double seconds);

std::string read_bytes(const std::string& path);
long size_on_disk(const std::string& path);  // -1 when there is no such file

// A scratch resource folder holding a copy of the build's bin/resources; removed by the destructor.
class scratch_resources {
 public:
  scratch_resources();
  ~scratch_resources();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string program(const std::string& name);  // <build>/bin/<name>
