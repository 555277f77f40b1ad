// A GLUT window on the test's own Xvfb, a display frame for it, and framebuffers read back with glReadPixels.
#pragma once
#include <GL/glew.h>

#include <cstdint>
#include <vector>

#include "library/arch/opengl/framebuffer.hpp"

// Pixels read back from a framebuffer, rows from the bottom as GL counts them.
struct rgba_image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bytes;  // red, green, blue, alpha
  const uint8_t* at(int32_t x, int32_t y) const { return &bytes[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
  // Whether (x, y) is within `tolerance` of the colour in red, green and blue.
  bool near(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b, int tolerance = 12) const;
};

// One per test program: Xvfb (1280 x 800), GLUT and a double-buffered RGBA window with depth, its context
// current and the extension loader ready. `frame` is a plain display frame of `device`, a stand-in for
// the display layer's screen, with its own statistics and hook list.
class glut_window {
 public:
  // The size counts at the first call only.
  static glut_window& shared(int32_t width = 904, int32_t height = 509);
  bool ready() const { return ready_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  pixel_size size() const { return {width_, height_}; }
  display_device* device() { return &device_; }
  // Identity matrices, the whole window as viewport, no scissor; opens the frame one frame period later.
  display_frame* begin_frame();
  void end_frame();  // commits the frame
  // What the framebuffer's content part (or the window's back buffer, for null) holds now.
  rgba_image read(const framebuffer* fb) const;

 private:
  glut_window(int32_t width, int32_t height);
  bool ready_ = false;
  int32_t width_, height_;
  display_device device_{0, 0, 1, nullptr};
  frame_stats stats_{};
  frame_hooks_array hooks_{};
  display_frame frame_{};
};
