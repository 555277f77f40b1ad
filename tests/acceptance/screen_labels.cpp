// Reading a running program's labels from the file the preloaded label tap writes, and clicking them.
#include "tests/acceptance/screen_labels.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "tests/support/servers.hpp"

screen_labels::screen_labels(const std::string& display) : display_(display) {
  char folder[] = "/tmp/kv-labels-XXXXXX";
  if (mkdtemp(folder)) chmod(folder, 0777);  // the program may run as another user
  file_ = std::string(folder) + "/labels";
  // A copy beside the labels, so a user who cannot enter the build folder can still load it.
  tap_ = std::string(folder) + "/label_tap.so";
  run_command("cp '" KV_LABEL_TAP "' '" + tap_ + "' && chmod 755 '" + tap_ + "'");
}

screen_labels::~screen_labels() { run_command("rm -rf '" + file_.substr(0, file_.rfind('/')) + "'"); }

std::vector<std::string> screen_labels::env() const {
  return {"LD_PRELOAD=" + tap_, "KV_LABELS=" + file_, "DISPLAY=" + display_};
}

std::vector<shown_label> screen_labels::read(long* frame) const {
  std::ifstream in(file_);
  std::string word;
  long number = 0;
  int vx = 0, vy = 0, vw = 0, vh = 0;
  std::vector<shown_label> labels;
  if (!(in >> word >> number >> word >> vx >> vy >> vw >> vh)) return labels;
  in.ignore(1);
  for (std::string line; std::getline(in, line);) {
    float x = 0, y = 0;
    int used = 0;
    if (std::sscanf(line.c_str(), "%f %f %n", &x, &y, &used) < 2) continue;
    // From the viewport's device coordinates to window pixels, origin top-left, a few pixels inside.
    int px = vx + int((x + 1.0f) * 0.5f * float(vw)) + 3;
    int py = height_ - (vy + int((y + 1.0f) * 0.5f * float(vh))) - 4;
    labels.push_back({px, py, line.substr(size_t(used))});
  }
  if (frame) *frame = number;
  return labels;
}

bool screen_labels::wait_frames(int count) const {
  long start = 0, now = 0;
  read(&start);
  return eventually([&] { return read(&now), now >= start + count; }, 30);
}

std::string screen_labels::find(const std::string& prefix, shown_label* out) const {
  shown_label found{0, 0, ""};
  eventually([&] {
    for (const shown_label& l : read())
      if (l.text.compare(0, prefix.size(), prefix) == 0) return found = l, true;
    return false;
  }, 30);
  if (out) *out = found;
  return found.text;
}

bool screen_labels::find_window() {
  bool found = eventually([&] {
    std::string tree = run_command("xwininfo -display " + display_ + " -root -children");
    size_t at = tree.find("): ()");
    return at != std::string::npos &&
           std::sscanf(tree.c_str() + at + 5, " %dx%d+%d+%d", &width_, &height_, &origin_x_, &origin_y_) == 4;
  }, 30);
  if (found) xdotool("mousemove " + std::to_string(origin_x_ + width_ / 2) + " " + std::to_string(origin_y_ + height_ - 2));
  return found;
}

void screen_labels::xdotool(const std::string& command) const { run_command("DISPLAY=" + display_ + " xdotool " + command); }

void screen_labels::key(const std::string& name) const { xdotool("key " + name); }

bool screen_labels::click(const std::string& prefix) {
  shown_label l;
  if (find(prefix, &l).empty()) return false;
  xdotool("mousemove " + std::to_string(origin_x_ + l.x) + " " + std::to_string(origin_y_ + l.y));
  bool seen = wait_frames(3);
  xdotool("mousedown 1");
  seen = seen && wait_frames(3);
  xdotool("mouseup 1");
  seen = seen && wait_frames(3);
  xdotool("mousemove " + std::to_string(origin_x_ + 2) + " " + std::to_string(origin_y_ + height_ - 2));
  return seen && wait_frames(2);
}
