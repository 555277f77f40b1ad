// Button and fader logic driven through the GLUT mouse callbacks, frame by frame, and the label font choice.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include "apps/experiments/widgets.hpp"
#include "tests/ui/mouse.hpp"

namespace {

class WidgetLogic : public ui_test {
 protected:
  void move(float x, float y) { inMouseMotion(px_x(x), px_y(y)); }
  void press() { inMouseAction(0, mouse_down, mouse_xy.x, mouse_xy.y); }
  void release() { inMouseAction(0, mouse_up, mouse_xy.x, mouse_xy.y); }
  // One frame with two buttons; returns their results as bits.
  int frame() {
    ui_define(&u, nullptr);
    a = ui_id(&u), b = ui_id(&u);
    int clicked = ui_button_logic(&u, a, &box_a) | (ui_button_logic(&u, b, &box_b) << 1);
    ui_commit(&u);
    return clicked;
  }
  hid a{}, b{};
  lrtb box_a = {-0.5f, -0.1f, 0.5f, 0.1f}, box_b = {0.1f, 0.5f, 0.5f, 0.1f};
};

}  // namespace

TEST_F(WidgetLogic, ClickIsPressAndReleaseWhileHot) {
  move(-0.3f, 0.3f);
  press();
  EXPECT_EQ(frame(), 0);
  EXPECT_TRUE(ui_is_active(&u, a));
  release();
  EXPECT_EQ(frame(), 1);  // once, in the frame of the release
  EXPECT_EQ(frame(), 0);
  EXPECT_TRUE(ui_is_none_active(&u));
}

TEST_F(WidgetLogic, ClickThatLeavesAndReturns) {
  move(-0.3f, 0.3f);
  press();
  frame();
  move(0.0f, 0.3f);  // out, between the buttons
  frame();
  EXPECT_FALSE(ui_is_hot(&u, a));
  release();
  EXPECT_EQ(frame(), 0);  // released outside: no click

  press();  // pressed outside both: nothing activates
  frame();
  EXPECT_TRUE(ui_is_none_active(&u));
  release();
  frame();

  move(-0.3f, 0.3f);
  press();
  frame();
  move(0.3f, 0.3f);  // over the other button while a holds the mouse: b does not become hot
  frame();
  EXPECT_FALSE(ui_is_hot(&u, b));
  move(-0.3f, 0.3f);  // back inside before the release
  EXPECT_EQ(frame(), 0);
  EXPECT_TRUE(ui_is_hot(&u, a));
  release();
  EXPECT_EQ(frame(), 1);
}

TEST_F(WidgetLogic, SecondButtonOfTheMouseChangesNothingWhileOneIsHeld) {
  move(-0.3f, 0.3f);
  inMouseAction(0, mouse_down, mouse_xy.x, mouse_xy.y);
  frame();
  move(0.3f, 0.3f);
  inMouseAction(2, mouse_down, mouse_xy.x, mouse_xy.y);  // no edge: the state was already down
  EXPECT_EQ(frame(), 0);
  EXPECT_TRUE(ui_is_active(&u, a));
  inMouseAction(2, mouse_up, mouse_xy.x, mouse_xy.y);  // the first release is the end edge
  EXPECT_EQ(frame(), 0);                         // a was not hot at the release
  EXPECT_TRUE(ui_is_none_active(&u));
  inMouseAction(0, mouse_up, mouse_xy.x, mouse_xy.y);  // the second release changes nothing
  EXPECT_EQ(frame(), 0);
}

TEST_F(WidgetLogic, FaderHasADeadZoneThenFollowsTheDragFromThePress) {
  lrtb box = {-0.1f, 0.1f, 0.1f, -0.1f};
  const float radius = 0.1f, sensitivity = (1.0f / radius) * 0.05f;
  hid id = hid_make1(7);
  auto step = [&](float value) { return ui_fader_logic(&u, id, &box, value, 0.0f, 10.0f, sensitivity); };
  move(0.0f, 0.0f);
  press();
  EXPECT_EQ(step(4.0f), 4.0f);
  inMouseMotion(mouse_xy.x, mouse_xy.y - 20);  // 20 px up: 0.025 x units of travel, inside the dead zone
  EXPECT_EQ(step(4.0f), 4.0f);
  inMouseMotion(mouse_xy.x, mouse_xy.y - 40);  // 60 px up in all: 0.2 y units, 0.15 of travel in x units
  float expected = 4.0f + 10.0f * sensitivity * (2.0f * 60 / 600);
  EXPECT_NEAR(step(4.0f), expected, 1e-5f);
  inMouseMotion(mouse_xy.x, mouse_xy.y - 400);  // far up: clamped to the maximum
  EXPECT_EQ(step(expected), 10.0f);
  release();
  EXPECT_EQ(step(10.0f), 10.0f);  // the release keeps the last value
  EXPECT_TRUE(ui_is_none_active(&u));
  // Out-of-range values come back clamped in the same call, also when not touched.
  EXPECT_EQ(step(-3.0f), 0.0f);
  EXPECT_EQ(step(12.0f), 10.0f);
}

TEST(LabelFont, NearestHeightWithTiesToTheLowerIndex) {
  EXPECT_EQ(ui_label_font(13), GLUT_BITMAP_8_BY_13);
  EXPECT_EQ(ui_label_font(14), GLUT_BITMAP_9_BY_15);
  EXPECT_EQ(ui_label_font(11), GLUT_BITMAP_HELVETICA_10);
  EXPECT_EQ(ui_label_font(21), GLUT_BITMAP_HELVETICA_18);
  EXPECT_EQ(ui_label_font(5), GLUT_BITMAP_HELVETICA_10);
  EXPECT_EQ(ui_label_font(INT32_MIN), GLUT_BITMAP_8_BY_13);  // nothing within reach: the default, no overflow
}
