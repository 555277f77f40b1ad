// The interaction protocol driven through the GLUT callbacks: consumed edges, hot and active, pass balance.
#include "tests/ui/mouse.hpp"

namespace {
class Protocol : public ui_test {
 protected:
  void SetUp() override {
    ui_test::SetUp();
    ui_define(&u, nullptr);
  }
};
}  // namespace

TEST_F(Protocol, EdgesAreReportedOnceThenConsumed) {
  inMouseAction(0, mouse_down, 10, 10);
  EXPECT_EQ(ui_mouse_action_ended(), 0);
  EXPECT_EQ(ui_mouse_action_started(), 1);
  EXPECT_EQ(ui_mouse_action_started(), 0);
  inMouseAction(2, mouse_up, 12, 10);  // any button acts the same
  EXPECT_EQ(ui_mouse_action_started(), 0);
  EXPECT_EQ(ui_mouse_action_ended(), 1);
  EXPECT_EQ(ui_mouse_action_ended(), 0);
  // A second report of the same state is no edge.
  inMouseAction(0, mouse_up, 12, 10);
  EXPECT_EQ(ui_mouse_action_ended(), 0);
  // Values GLUT never sends change nothing the queries report.
  inMouseAction(0, 77, 0, 0);
  EXPECT_EQ(ui_mouse_action_started() + ui_mouse_action_ended(), 0);
}

TEST_F(Protocol, MotionMeasuresFromThePressPoint) {
  inMouseAction(0, mouse_down, 400, 300);
  inMouseMotion(400, 260);  // 40 px up
  inMouseMotion(430, 220);  // 50 px more
  xy m;
  ui_mouse_action_get_motion(&u, &m);
  EXPECT_FLOAT_EQ(m.x, 2.0f * 30 / 800);
  EXPECT_FLOAT_EQ(m.y, 2.0f * 80 / 600);  // upward is positive
  EXPECT_FLOAT_EQ(mouse_action_distance, 90.0f);
  EXPECT_FLOAT_EQ(ui_mouse_action_aggregate_distance(&u), 2.0f * 90 / 800);
  inMouseAction(0, mouse_up, 430, 220);  // every change of button state restarts the path
  EXPECT_FLOAT_EQ(mouse_action_distance, 0.0f);
  // Wild coordinates from outside stay finite and defined.
  inMouseMotion(INT32_MAX, INT32_MIN);
  inMouseMotion(INT32_MIN, INT32_MAX);
  ui_mouse_action_get_motion(&u, &m);
  EXPECT_GT(ui_mouse_action_aggregate_distance(&u), 0.0f);
}

TEST_F(Protocol, InsideTestIsInclusiveAndFollowsTheViewport) {
  lrtb box = {-0.5f, 0.5f, 0.5f, -0.5f};
  inMouseMotion(px_x(0.0f), px_y(0.0f));
  EXPECT_TRUE(ui_mouse_inside(&u, &box));
  inMouseMotion(px_x(-0.5f), px_y(0.5f));  // the corner itself
  EXPECT_TRUE(ui_mouse_inside(&u, &box));
  inMouseMotion(px_x(0.6f), px_y(0.0f));
  EXPECT_FALSE(ui_mouse_inside(&u, &box));
  lrtb point = {0.0f, 0.0f, 0.0f, 0.0f};
  xy on = {0.0f, 0.0f}, off = {0.0f, 0.001f};
  EXPECT_TRUE(xy_inside_lrtb(&on, &point));
  EXPECT_FALSE(xy_inside_lrtb(&off, &point));
  xy_i p;
  xy corner = {1.0f, 1.0f};
  in_pixels(&p, &corner);
  EXPECT_EQ(p.x, 800);
  EXPECT_EQ(p.y, 600);
  EXPECT_FLOAT_EQ(ui_vertical_period(&u), 2.0f * 13 / 600);
  EXPECT_FLOAT_EQ(ui_horizontal_period(&u), 2.0f * 13 / 600 * 0.75f * 600 / 800);
}

TEST_F(Protocol, HotAndActiveWithTwoElements) {
  hid a = ui_id(&u), b = ui_id(&u);
  ui_highlight(&u, a);
  EXPECT_TRUE(ui_is_hot(&u, a));
  ui_activate(&u, a);
  ui_highlight(&u, b);  // another element holds the mouse
  EXPECT_TRUE(ui_is_hot(&u, a));
  ui_away(&u, b);  // b was not hot: a stays hot
  EXPECT_TRUE(ui_is_hot(&u, a));
  ui_away(&u, a);
  EXPECT_FALSE(ui_is_hot(&u, a));
  ui_highlight(&u, a);  // the active element may become hot again
  EXPECT_TRUE(ui_is_hot(&u, a));
  ui_deactivate(&u);
  EXPECT_TRUE(ui_is_none_active(&u));
  ui_highlight(&u, b);
  EXPECT_TRUE(ui_is_hot(&u, b));
  ui_reg_set_f0(&u, 0.25f);
  ui_reg_set_i0(&u, 7);
  EXPECT_EQ(ui_reg_f0(&u), 0.25f);
  EXPECT_EQ(ui_reg_i0(&u), 7);
}

namespace {
int added = 0;
void count_add(ui*, hid, lrtb*, void*) { added += 1; }
}  // namespace

TEST_F(Protocol, AddGoesToTheCurrentContainerOnly) {
  added = 0;
  lrtb box = {0, 0, 0, 0};
  ui_add(&u, NULL_HID, &box);  // the root has no add callback
  EXPECT_EQ(added, 0);
  ui_layout_begin(&u, ui_id(&u), nullptr, count_add);
  xy a = {0.25f, -0.5f};
  ui_set_anchor(&u, &a);
  ui_add(&u, NULL_HID, &box);
  EXPECT_EQ(added, 1);
  ui_layout_end(&u);
  xy root;
  ui_anchor(&u, &root);
  EXPECT_FLOAT_EQ(root.x, -1.0f);  // the inner anchor does not leak out
  EXPECT_FLOAT_EQ(root.y, 1.0f);
  ui_add(&u, NULL_HID, &box);
  EXPECT_EQ(added, 1);
}

TEST_F(Protocol, UnbalancedPassIsReportedOnceAndRepaired) {
  added = 0;
  lrtb box = {-1, 1, 1, -1};
  for (int pass = 0; pass < 3; ++pass) {
    ui_define(&u, nullptr);
    ui_layout_begin(&u, ui_id(&u), nullptr, count_add);  // never ended
    ui_cliparea_begin(&u, &box);                         // never ended
    ::testing::internal::CaptureStdout();
    ui_commit(&u);
    std::string said = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ui_unbalanced_p(&u));
    EXPECT_EQ(said.empty(), pass > 0) << said;
  }
  ui_define(&u, nullptr);
  EXPECT_EQ(ui_id(&u).num, 5);  // back at the root with a fresh counter
  ui_add(&u, NULL_HID, &box);   // the container left open gets nothing
  EXPECT_EQ(added, 0);
  ui_commit(&u);
  EXPECT_FALSE(ui_unbalanced_p(&u));
  // An end without a begin is a fault of the same kind and leaves the root current.
  ui_define(&u, nullptr);
  ui_layout_end(&u);
  ui_cliparea_end(&u);
  EXPECT_EQ(ui_id(&u).num, 5);
  ::testing::internal::CaptureStdout();
  ui_commit(&u);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("unbalanced"), std::string::npos);
}

TEST(ClipStack, TopFollowsPushAndPop) {
  cliparea_array s{};
  EXPECT_EQ(cliparea_top(&s), nullptr);
  cliparea a = {1, 2, 3, 4}, b = {5, 6, 7, 8};
  cliparea_push(&s, &a);
  cliparea_push(&s, &b);
  EXPECT_EQ(cliparea_top(&s)->x, 5);
  EXPECT_TRUE(cliparea_pop(&s));
  EXPECT_EQ(cliparea_top(&s)->x, 1);
  EXPECT_TRUE(cliparea_pop(&s));
  EXPECT_FALSE(cliparea_pop(&s));
  EXPECT_EQ(cliparea_top(&s), nullptr);
  array_fail(s);
  EXPECT_EQ(cliparea_top(&s), nullptr);  // a failed stack has no top: scissoring goes off
  array_reset(s);
  lrtb box = {-1.0f, 0.0f, 1.0f, 0.0f};  // the upper-left quarter of 800 x 600
  cliparea c;
  cliparea_make(&c, &box);
  EXPECT_EQ(c.x, 0);
  EXPECT_EQ(c.y, 300);
  EXPECT_EQ(c.width, 400);
  EXPECT_EQ(c.height, 300);
}
