// Widgets drawn in the shared GLUT window under Xvfb and read back: the knob's arc, the scroll bar,
// statistics, a stack scrolled to its end and a flow's wrap.
// (Real clicks through the window system are the editor test's.)
#include "tests/visuals/glut_window.hpp"  // first: the extension loader's header before GL's

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "apps/experiments/layout.hpp"
#include "apps/experiments/widgets.hpp"

namespace {
glut_window& w = glut_window::shared();
const float W = float(w.width()), H = float(w.height());

class UiWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(w.ready());
    mouse_state = mouse_previous_state = 1;
    mouse_xy = mouse_action_origin_xy = {int(W) - 1, 0};  // the top-right corner, clear of every widget
    ui_make(&u);
    ui_attach(&u, nullptr);
  }
  void TearDown() override { ui_destroy(&u); }
  void draw(const std::function<void(ui*)>& body) {
    display_frame* frame = w.begin_frame();
    ui_define(&u, frame);
    const float white[4] = {1, 1, 1, 1};
    ui_background(&u, white);
    body(&u);
    ui_commit(&u);
    w.end_frame();
    glFinish();
    shown = w.read(nullptr);
  }
  // Whether the pixel at device coordinates (x, y), or one of its neighbours `around`, has the colour.
  bool is(float x, float y, int r, int g, int b, int around = 0) const {
    int px = int((x + 1) * 0.5f * W), py = int((y + 1) * 0.5f * H);
    for (int i = -around; i <= around; ++i)
      for (int j = -around; j <= around; ++j)
        if (shown.near(px + i, py + j, uint8_t(r), uint8_t(g), uint8_t(b), 2)) return true;
    return false;
  }
  // Each point (x, y) with the colour it must have: 0 black, 1 white, otherwise that grey.
  void expect(std::initializer_list<std::array<float, 3>> points, int around = 0) const {
    for (auto [x, y, c] : points) {
      int level = c == 1 ? 255 : int(c);
      EXPECT_TRUE(is(x, y, level, level, level, around)) << x << "," << y << " not " << level;
    }
  }
  static void move_to(float x, float y) { inMouseMotion(int((x + 1) * 0.5f * W), int((1 - y) * 0.5f * H)); }
  static void press(int state) { inMouseAction(0, state, mouse_xy.x, mouse_xy.y); }
  ui u{};
  rgba_image shown;
};
}  // namespace

// The knob's arc runs clockwise from eight o'clock, over the top, to four o'clock at half range, round a
// hole; the scroll bar's thumb runs from 0.7 down to 0.5 in its track; the statistics plot column 0's
// range bar and marker, column 1 high up. (The button's colours are the editor test's.)
TEST_F(UiWindow, KnobScrollBarAndStatisticsShowTheirState) {
  const xy knob = {-0.2f, 0.8f}, bar = {0.5f, 0.8f}, plot = {-0.5f, -0.2f}, plot_size = {0.4f, 0.4f};
  const float triples[4 * 3] = {0.5f, 0.2f, 0.8f, 0.9f, 0.85f, 0.95f, 0.1f, 0.05f, 0.15f, 0.5f, 0.5f, 0.5f};
  float hp = 0, radius = 0, value = 0.5f;
  xy size{};
  auto page = [&](ui* v) {
    hp = ui_horizontal_period(v);
    ui_knob_extents(v, &size, &radius);
    ui_knob(v, ui_id(v), &knob, value, 0.0f, 1.0f, "k");
    ui_vertical_scroll(v, ui_id(v), &bar, 0.8f, 0.2f, 0.4f, 1.6f);
    ui_stats(v, &plot, &plot_size, triples, 4);
  };
  draw(page);
  const xy c = {knob.x + 0.5f * size.x, knob.y - 0.5f * size.y};
  const float mx = bar.x + 0.5f * hp, b = plot.y - plot_size.y;
  expect({{c.x, c.y + radius, 1}, {c.x - radius, c.y, 1}, {c.x + radius, c.y, 0}, {c.x, c.y - radius, 0}, {c.x, c.y, 1},
          {mx, 0.6f, 153}, {mx, 0.75f, 0}, {mx, 0.3f, 0}, {mx, -0.1f, 1},
          {-0.45f, b + 0.4f * 0.3f, 214}, {-0.45f, b + 0.4f * 0.5f, 0}, {-0.35f, b + 0.4f * 0.5f, 1},
          {-0.35f, b + 0.4f * 0.9f, 0}});
  value = 7.0f;  // above the maximum: a full ring
  draw(page);
  expect({{c.x + radius, c.y, 1}});
}

TEST_F(UiWindow, StacksScrolledToTheirEndAndFlowsThatWrap) {
  // Twenty rows in a stack from the middle down: a scroll bar, dragged to the end, shows the last row.
  ui_layout stack{}, flow{};
  float last_bottom = 0, bar_x = 0;
  auto rows = [&](ui* v) {
    xy start = {-1.0f, 0.0f};
    ui_set_anchor(v, &start);
    ui_stack_make(&stack, v, ui_id(v), nullptr);
    for (int i = 0; i < 20; ++i) {
      xy a;
      ui_anchor(v, &a);
      ui_button(v, ui_id(v), nullptr, nullptr, "row %02d", i);
      last_bottom = a.y - 2 * ui_font_height(v, 2) + 4.0f / H;
    }
    bar_x = 1.0f - 0.5f * ui_horizontal_period(v);
    ui_layout_destroy(&stack, v);
  };
  draw(rows);
  EXPECT_TRUE(stack.allow_v);
  expect({{bar_x, -0.1f, 153}});
  move_to(bar_x, -0.1f);
  press(0);
  draw(rows);
  inMouseMotion(mouse_xy.x, mouse_xy.y + 400);
  draw(rows);
  press(1);
  move_to(0.5f, 0.5f);
  draw(rows);
  draw(rows);
  EXPECT_NEAR(last_bottom - 0.025f, -1.0f, 1e-3f);  // the last row ends at the clip bottom
  expect({{bar_x, -0.9f, 153}});
  EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST)) << "the stack's clip area ended";
  // Buttons of 4 font heights plus padding in a flow: the one that leaves too little room ends its row.
  xy tops[12], before_label{}, after_label{};
  float fh = 0, hp = 0;
  draw([&](ui* v) {
    xy start = {-1.0f, 0.9f};
    ui_set_anchor(v, &start);
    ui_flow_make(&flow, v, ui_id(v), nullptr);
    for (xy& top : tops) {
      ui_anchor(v, &top);
      ui_button(v, ui_id(v), nullptr, nullptr, "abcd");
    }
    ui_anchor(v, &before_label);
    ui_label(v, nullptr, "%s", "0123456789");
    ui_anchor(v, &after_label);
    fh = ui_font_height(v, 2), hp = ui_horizontal_period(v);
    ui_flow_destroy(&flow, v);
  });
  // Labels at the default height use the 8 by 13 font: ten characters advance 80 pixels.
  EXPECT_NEAR((after_label.x - before_label.x - 0.025f) * 0.5f * W, 80.0f, 1.0f);
  const float width = 4 * fh + 4.0f / W, step = width + 0.025f;
  int wrap = 0;  // the first button whose right edge plus its width reaches the clip's right less 2 hp
  while (-1.0f + wrap * step + 2 * width < 1.0f - 2 * hp) ++wrap;
  for (int i = 1; i <= wrap; ++i) EXPECT_NEAR(tops[i].x + tops[i].y, -1.0f + i * step + 0.9f, 1e-4f) << i;
  EXPECT_FLOAT_EQ(tops[wrap + 1].x, -1.0f);
  EXPECT_NEAR(tops[wrap + 1].y, 0.9f - 2 * fh + 4.0f / H, 1e-5f);  // directly under the row
  EXPECT_FALSE(flow.allow_v);
}
