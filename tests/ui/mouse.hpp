// Unit tests' mouse: fresh globals and device coordinates as pixels of the fake 800 x 600 viewport.
#pragma once
#include <gtest/gtest.h>

#include "library/arch/opengl/ui-glut.hpp"

constexpr int mouse_down = 0, mouse_up = 1;

inline int px_x(float x) { return int((x + 1.0f) * 400.0f); }
inline int px_y(float y) { return int((1.0f - y) * 300.0f); }

// A fresh context with the button up and the pointer at the origin of the window.
class ui_test : public ::testing::Test {
 protected:
  void SetUp() override {
    mouse_state = mouse_previous_state = mouse_up;
    mouse_xy = mouse_action_origin_xy = {0, 0};
    mouse_action_distance = 0;
    ui_make(&u);
  }
  void TearDown() override { ui_destroy(&u); }
  ui u{};
};
