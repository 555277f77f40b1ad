// A GLX window context on a test's own Xvfb display, for drawing and reading pixels back.
#pragma once
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class xvfb_display;

class gl_context {
 public:
  // Starts Xvfb, opens a width x height RGBA window (no multisampling) with a depth buffer, makes its
  // context current and initialises the extension loader.
  gl_context(int width, int height);
  ~gl_context();
  bool ready() const { return ready_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // Clears colour and depth, sets the viewport to the window and identity matrices.
  void reset(float r = 0, float g = 0, float b = 0);
  // Pixel (x, y) of the back buffer, y counted from the top row, as 0xRRGGBB.
  uint32_t pixel(int x, int y) const;
  // Whole back buffer, top row first, 0xRRGGBB.
  std::vector<uint32_t> pixels() const;

 private:
  std::unique_ptr<xvfb_display> display_;
  void* x_ = nullptr;
  unsigned long window_ = 0;
  void* context_ = nullptr;
  int width_, height_;
  bool ready_ = false;
};

// The one context of a test program, made on first use (one Xvfb per test program).
gl_context& shared_gl_context();

// Tests on the shared context, cleared to black with identity state before each.
class gl_test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl().ready());
    gl().reset();
  }
  static gl_context& gl() { return shared_gl_context(); }
};

// Captures what a call prints on standard output.
inline std::string captured_stdout(const std::function<void()>& run) {
  ::testing::internal::CaptureStdout();
  run();
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}
