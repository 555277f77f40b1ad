// The interface core without a window: identifiers, the mouse protocol, button and fader logic, clip
// areas and the per-frame geometry batches (the viewport is a fake 800 x 600). The label font and its
// height show in the widgets drawn under Xvfb.
#include <gtest/gtest.h>

#include <vector>

#include "apps/experiments/widgets.hpp"
#include "library/arch/opengl/frame.hpp"
#include "library/arch/opengl/ui-glut.hpp"
#include "library/visuals/geometry.hpp"
#include "pure/hid.hpp"

namespace {
constexpr int down = 0, up = 1;
using ints = std::vector<int32_t>;
ints v(hid h) { return {h.num, h.den}; }

// A fresh context with the button up and the pointer at the window's origin.
class Ui : public ::testing::Test {
 protected:
  void SetUp() override {
    mouse_state = mouse_previous_state = up;
    mouse_xy = mouse_action_origin_xy = {0, 0};
    mouse_action_distance = 0;
    ui_make(&u);
  }
  void TearDown() override { ui_destroy(&u); }
  void move(float x, float y) { inMouseMotion(int((x + 1.0f) * 400.0f), int((1.0f - y) * 300.0f)); }
  void button(int state) { inMouseAction(0, state, mouse_xy.x, mouse_xy.y); }
  // One frame with two buttons side by side; their clicks as bits.
  int frame() {
    ui_define(&u, nullptr);
    a = ui_id(&u), b = ui_id(&u);
    int clicked = ui_button_logic(&u, a, &box_a) | (ui_button_logic(&u, b, &box_b) << 1);
    ui_commit(&u);
    return clicked;
  }
  ui u{};
  hid a{}, b{};
  lrtb box_a = {-0.5f, -0.1f, 0.5f, 0.1f}, box_b = {0.1f, 0.5f, 0.5f, 0.1f};
};
}  // namespace

TEST(Hid, PathsBecomeContinuedFractionsAndBadOnesNull) {
  // The element after each path is a sentinel that a loop running one term too far would read.
  int32_t root[] = {-9}, one[] = {0, 1, -9}, zero_first[] = {-2, -1}, zero_later[] = {0, -2}, deep[40];
  for (int32_t& o : deep) o = 1000;
  EXPECT_EQ(v(hid_make(root, 0)), (ints{1, 0}));
  EXPECT_EQ(v(hid_make(one, 2)), (ints{7, 3}));
  EXPECT_EQ(v(hid_make(zero_first, 2)), (ints{1, 1}));  // only the first term may be 0
  EXPECT_EQ(v(hid_make(zero_later, 2)), (ints{0, 0}));
  EXPECT_EQ(v(hid_make(deep, 40)), (ints{0, 0}));       // overflow: null, not wrapped
  EXPECT_EQ(v(hid_make1(-3)), (ints{0, 0}));
  hid_mobius m = hid_to_mobius({7, 3}), flat = hid_to_mobius({9, 0});
  EXPECT_EQ((ints{m.p, m.p1, m.q, m.q1, flat.p, flat.p1, flat.q, flat.q1}), (ints{7, 2, 3, 1, 9, 0, 0, 1}));
}

TEST_F(Ui, IdsCountChildrenPerContainerAndAClipAreaInPixels) {
  ui_define(&u, nullptr);
  hid box = ui_id(&u);
  EXPECT_EQ(v(box), (ints{5, 2}));
  ui_layout_begin(&u, box, nullptr, nullptr);
  EXPECT_EQ(v(ui_id(&u)), (ints{12, 5}));
  ui_layout_end(&u);
  EXPECT_EQ(v(ui_id(&u)), (ints{7, 3}));
  EXPECT_EQ(v(ui_make_id(&u, {12, 5})), (ints{0, 0}));  // not a container begun here
  ui_commit(&u);
  lrtb quarter = {-1.0f, 0.0f, 1.0f, 0.0f};
  cliparea c;
  cliparea_make(&c, &quarter);
  EXPECT_EQ((ints{c.x, c.y, c.width, c.height}), (ints{0, 300, 400, 300}));
}

TEST_F(Ui, MouseEdgesAndUnits) {
  inMouseAction(0, down, 400, 300);
  EXPECT_EQ(ui_mouse_action_started(), 1);
  EXPECT_EQ(ui_mouse_action_started(), 0);  // consumed
  inMouseAction(0, up, 430, 220);
  EXPECT_EQ(ui_mouse_action_ended(), 1);
  inMouseAction(0, 77, 0, 0);  // a state GLUT never sends
  EXPECT_EQ(ui_mouse_action_started() + ui_mouse_action_ended(), 0);
  lrtb box = {-0.5f, 0.5f, 0.5f, -0.5f};
  move(-0.5f, 0.5f);  // the corner itself is inside
  EXPECT_TRUE(ui_mouse_inside(&u, &box));
  move(0.6f, 0.0f);
  EXPECT_FALSE(ui_mouse_inside(&u, &box));
  EXPECT_FLOAT_EQ(ui_horizontal_period(&u), 2.0f * 13 / 600 * 0.75f * 600 / 800);
}

TEST_F(Ui, AClickIsAPressAndAReleaseWhileHot) {
  // Each step: where the pointer goes (or stays), the button, and the clicks of that frame.
  struct step {
    float x;
    int state, clicks;
  } steps[] = {{-0.3f, down, 0}, {-0.3f, up, 1},  {-0.3f, up, 0},  // once, in the frame of the release
               {-0.3f, down, 0}, {0.0f, down, 0}, {0.0f, up, 0},   // released outside
               {-0.3f, down, 0}, {0.3f, down, 0}, {-0.3f, down, 0}, {-0.3f, up, 1}};
  for (const step& s : steps) {
    move(s.x, 0.3f);
    button(s.state);
    EXPECT_EQ(frame(), s.clicks) << int(&s - steps);
    EXPECT_FALSE(s.x > 0.2f && ui_is_hot(&u, b)) << "over b while a holds the mouse";
  }
  EXPECT_TRUE(ui_is_none_active(&u));
}

TEST_F(Ui, AFaderHasADeadZoneThenFollowsTheDragFromThePress) {
  lrtb box = {-0.1f, 0.1f, 0.1f, -0.1f};
  const float sensitivity = 10.0f * 0.05f;
  auto step = [&](float value) { return ui_fader_logic(&u, hid_make1(7), &box, value, 0.0f, 10.0f, sensitivity); };
  move(0.0f, 0.0f);
  button(down);
  EXPECT_EQ(step(4.0f), 4.0f);
  inMouseMotion(mouse_xy.x, mouse_xy.y - 20);  // 0.025 units of travel: inside the dead zone
  EXPECT_EQ(step(4.0f), 4.0f);
  inMouseMotion(mouse_xy.x, mouse_xy.y - 40);
  float expected = 4.0f + 10.0f * sensitivity * (2.0f * 60 / 600);
  EXPECT_NEAR(step(4.0f), expected, 1e-5f);
  inMouseMotion(mouse_xy.x, mouse_xy.y - 400);
  EXPECT_EQ(step(expected), 10.0f);
  button(up);
  EXPECT_EQ(step(-3.0f), 0.0f);  // clamped also when untouched
}

// Per-frame batches take consecutive regions of the frame's arrays, get them back next frame and are
// refused where OpenGL would read outside them; a resident batch owns arrays of exactly its size.
TEST(Geometry, BatchesShareTheFramesArraysAndRefuseWhatOpenGlCouldNotDraw) {
  frame_stats stats{};
  frame_hooks_array hooks{};
  display_frame frame{};
  frame_make(&frame, nullptr, 0.0, &stats, &hooks);
  display_frame_define(&frame, nullptr);
  geometry g[4];
  int32_t* idx[4];
  vector4 *pos[4], *col[4];
  for (int k = 0; k < 4; ++k) {
    geometry_make(&g[k], &frame);
    geometry_define(&g[k], GEOMETRY_QUADS, 4, &idx[k], 4, &pos[k], &col[k], nullptr, nullptr);
    for (int32_t i = 0; i < 4; ++i) idx[k][i] = 3 - i;
  }
  idx[3][3] = 4;  // past the vertices
  for (int k = 0; k < 4; ++k) geometry_commit(&g[k]);
  EXPECT_EQ((ints{g[2].first_index - g[0].first_index, g[2].first_float - g[0].first_float, g[2].alive, g[3].alive}),
            (ints{8, 8 * 12, 1, 0}));
  EXPECT_EQ(array_length(g[0].data->floats), 3 * 4 * 12);
  geometry_commit_with(&g[1], 8, 4);  // more than defined
  EXPECT_FALSE(g[1].alive);
  display_frame_commit(&frame);
  display_frame_define(&frame, nullptr);
  geometry_draw(&g[2], &frame);  // its frame started again: refused, not read from emptied arrays
  EXPECT_FALSE(g[2].alive);
  display_frame_commit(&frame);
  geometry resident;
  opengl_geometry_make_resident(&resident);
  opengl_geometry_define(&resident, GEOMETRY_QUADS, 4, &idx[0], 4, &pos[0], nullptr, nullptr, nullptr);
  for (int32_t i = 0; i < 4; ++i) idx[0][i] = i;
  geometry_commit(&resident);
  ASSERT_TRUE(resident.alive);
  EXPECT_EQ((ints{array_length(resident.data->positions), array_length(resident.data->indices)}), (ints{4, 4}));
  opengl_geometry_delete(&resident);
  frame_hooks_delete_all(&hooks);
}
