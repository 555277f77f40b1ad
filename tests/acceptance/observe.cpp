// Screen regions, JACK recordings, files and scratch resource folders for the tests that run the programs.
#include "tests/acceptance/observe.hpp"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

#include "tests/support/servers.hpp"

picture ppm_from(const std::string& command) {
  std::string data = run_command(command);
  int w = 0, h = 0, maxval = 0, used = 0;
  if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &w, &h, &maxval, &used) != 3 || maxval != 255 || w <= 0 || h <= 0 ||
      data.size() < size_t(used) + 1 + size_t(w) * size_t(h) * 3)
    return {};
  auto pixels = data.begin() + used + 1;
  return {w, h, std::vector<unsigned char>(pixels, pixels + long(w) * h * 3)};
}

picture grab(const std::string& display, int x, int y, int width, int height) {
  return ppm_from("import -display " + display + " -window root -crop " + std::to_string(width) + "x" +
                  std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y) +
                  " +repage -depth 8 ppm:- 2>/dev/null");
}

picture cut(const picture& p, int x, int y, int width, int height) {
  picture c;
  if (x < 0) width += x, x = 0;
  if (y < 0) height += y, y = 0;
  width = std::min(width, p.width - x);
  height = std::min(height, p.height - y);
  if (width <= 0 || height <= 0) return c;
  c.width = width;
  c.height = height;
  for (int row = 0; row < height; ++row) {
    const unsigned char* from = p.at(x, y + row);
    c.rgb.insert(c.rgb.end(), from, from + size_t(width) * 3);
  }
  return c;
}

double difference(const picture& a, const picture& b, int shift) {
  if (a.empty() || a.width != b.width || a.height != b.height) return 255.0;
  double best = 255.0;
  for (int dy = -shift; dy <= shift; ++dy)
    for (int dx = -shift; dx <= shift; ++dx) {
      double sum = 0;
      long count = 0;
      for (int y = shift; y < a.height - shift; ++y)
        for (int x = shift; x < a.width - shift; ++x) {
          const unsigned char *p = a.at(x, y), *q = b.at(x + dx, y + dy);
          sum += std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]);
          count += 3;
        }
      if (count > 0) best = std::min(best, sum / double(count));
    }
  return best;
}

double share_of(const picture& p, int r, int g, int b, int tolerance) {
  if (p.empty()) return 0.0;
  long n = 0;
  for (size_t i = 0; i < p.rgb.size(); i += 3)
    n += std::abs(p.rgb[i] - r) <= tolerance && std::abs(p.rgb[i + 1] - g) <= tolerance &&
         std::abs(p.rgb[i + 2] - b) <= tolerance;
  return double(n) / double(p.rgb.size() / 3);
}

// The tap is copied beside the labels, so a user who cannot enter the build folder can still load it.
screen_labels::screen_labels(const std::string& display) : display_(display) {
  char folder[] = "/tmp/kv-labels-XXXXXX";
  if (mkdtemp(folder)) chmod(folder, 0777);  // the program may run as another user
  folder_ = folder;
  run_command("cp '" KV_LABEL_TAP "' '" + folder_ + "/tap.so' && chmod 755 '" + folder_ + "/tap.so'");
}

screen_labels::~screen_labels() { run_command("rm -rf '" + folder_ + "'"); }

std::vector<std::string> screen_labels::env() const {
  return {"LD_PRELOAD=" + folder_ + "/tap.so", "KV_LABELS=" + folder_ + "/labels", "DISPLAY=" + display_};
}

std::vector<shown_label> screen_labels::read(long* frame) const {
  std::ifstream in(folder_ + "/labels");
  std::string word;
  long number = 0;
  std::vector<shown_label> labels;
  if (!(in >> word >> number)) return labels;
  for (shown_label l; in >> l.x >> l.y && in.ignore(1) && std::getline(in, l.text);) labels.push_back(l);
  if (frame) *frame = number;
  return labels;
}

bool screen_labels::wait_frames(int count) const {
  long start = 0, now = 0;
  read(&start);
  return eventually([&] { return read(&now), now >= start + count; }, 30);
}

shown_label screen_labels::find(const std::string& prefix) const {
  shown_label found;
  eventually([&] {
    for (const shown_label& l : read())
      if (l.text.compare(0, prefix.size(), prefix) == 0) return found = l, true;
    return false;
  }, 30);
  return found;
}

void screen_labels::xdotool(const std::string& command) const {
  run_command("DISPLAY=" + display_ + " xdotool " + command);
}

void screen_labels::key(const std::string& name) const {
  shown_label any = find("");
  xdotool("mousemove " + std::to_string(any.x) + " " + std::to_string(any.y) + " key " + name);
}

bool screen_labels::click(const std::string& prefix) const {
  shown_label l = find(prefix);
  bool seen = !l.text.empty();
  for (std::string step : {"mousemove " + std::to_string(l.x) + " " + std::to_string(l.y), std::string("mousedown 1"),
                           std::string("mouseup 1")})
    if (seen) xdotool(step), seen = wait_frames(3);
  return seen;
}

double recording::rms(double from, double to) const {
  size_t a = size_t(std::max(0.0, from) * 44100.0), b = std::min(left.size(), size_t(std::max(0.0, to) * 44100.0));
  double sum = 0;
  for (size_t i = a; i < b; ++i) sum += double(left[i]) * left[i] + double(right[i]) * right[i];
  return b > a ? std::sqrt(sum / double(2 * (b - a))) : -1.0;
}

double recording::peak() const {
  double m = 0;
  for (const std::vector<float>* channel : {&left, &right})
    for (float s : *channel) {
      if (!std::isfinite(s)) return std::numeric_limits<double>::infinity();
      m = std::max(m, double(std::fabs(s)));
    }
  return m;
}

recording read_wav(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  std::vector<float> frames(f && info.channels == 2 ? size_t(info.frames) * 2 : 0);
  if (f) frames.resize(size_t(sf_readf_float(f, frames.data(), sf_count_t(frames.size() / 2))) * 2);
  if (f) sf_close(f);
  recording r;
  for (size_t i = 0; i + 1 < frames.size(); i += 2) r.left.push_back(frames[i]), r.right.push_back(frames[i + 1]);
  return r;
}

std::unique_ptr<child_process> record_output(const std::string& wav, double seconds) {
  std::vector<std::string> argv = {"jack_rec", "-f", wav, "-d", std::to_string(seconds), "-b", "32", "-B", "1048576"};
  eventually([&] { return run_command("jack_lsp 2>/dev/null").find("vorn:out_2") != std::string::npos; }, 10, 0.1);
  argv.insert(argv.end(), {"vorn:out_1", "vorn:out_2"});
  auto recorder = std::make_unique<child_process>(argv);
  eventually([] { return run_command("jack_lsp -c").find("\n   jackrec:input2") != std::string::npos; }, 10, 0.1);
  return recorder;
}

std::string read_bytes(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

long size_on_disk(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

scratch_resources::scratch_resources() {
  char name[] = "/tmp/kv-accept-res-XXXXXX";
  if (mkdtemp(name)) path_ = name;
  if (!path_.empty()) run_command("cp -p '" + binary_dir() + "/bin/resources/'* '" + path_ + "/'");
}

scratch_resources::~scratch_resources() {
  if (!path_.empty()) run_command("rm -rf '" + path_ + "'");
}

std::string program(const std::string& name) { return binary_dir() + "/bin/" + name; }
