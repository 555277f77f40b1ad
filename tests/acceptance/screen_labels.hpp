// The labels a running program shows, read through the preloaded label tap, and clicks on them.
#pragma once
#include <string>
#include <vector>

struct shown_label {
  int x, y;  // window pixels (origin top-left) of a point just inside the label's first glyph
  std::string text;
};

class screen_labels {
 public:
  explicit screen_labels(const std::string& display);  // ":N"
  ~screen_labels();
  screen_labels(const screen_labels&) = delete;
  screen_labels& operator=(const screen_labels&) = delete;
  // The environment that makes a program report its labels to this reader.
  std::vector<std::string> env() const;
  // The labels of the last frame written (empty before the first); `frame` gets its number.
  std::vector<shown_label> read(long* frame = nullptr) const;
  // Waits until `count` frames newer than now have been drawn; false after 30 seconds.
  bool wait_frames(int count) const;
  // The text of the first label of the last frame that starts with `prefix`, after waiting up to 30 seconds
  // for one; "" when there is none.
  std::string find(const std::string& prefix, shown_label* out = nullptr) const;
  // Finds the program's one top-level window; the pointer then moves over it.
  bool find_window();
  void key(const std::string& name) const;  // with the pointer over the window (focus follows it)
  // A press and a release on the label, each seen by a few frames.
  bool click(const std::string& prefix);

 private:
  void xdotool(const std::string& command) const;
  std::string display_, file_, tap_;
  int origin_x_ = 0, origin_y_ = 0, width_ = 0, height_ = 0;
};
