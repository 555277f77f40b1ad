// Widgets drawn in a real GLUT window under Xvfb: pixels read back, a real click, and the gallery picture.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>

#include "apps/experiments/layout.hpp"
#include "apps/experiments/widgets.hpp"
#include "library/arch/opengl/frame.hpp"
#include "tests/support/servers.hpp"
#include "toolset/visuals/image.hpp"

namespace {

constexpr int W = 640, H = 480;
constexpr int down = 0, up = 1;

struct rgb {
  int r, g, b;
};

::testing::AssertionResult is_rgb(rgb c, int r, int g, int b) {
  if (std::abs(c.r - r) <= 2 && std::abs(c.g - g) <= 2 && std::abs(c.b - b) <= 2)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << c.r << "," << c.g << "," << c.b;
}

class UiWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    x = new xvfb_display(1024, 768);
    int argc = 1;
    char name[] = "ui-system-test";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(W, H);
    glutCreateWindow("kv-ui-test");
    glutDisplayFunc([] {});
    frame_make(&frame, nullptr, 0.0, &stats, &hooks);
  }
  static void TearDownTestSuite() {
    frame_hooks_delete_all(&hooks);
    glutExit();
    delete x;
  }
  void SetUp() override {
    mouse_state = mouse_previous_state = up;
    mouse_xy = mouse_action_origin_xy = {W - 1, 0};  // top-right corner, clear of every widget
    mouse_action_distance = 0;
    ui_make(&u);
    ui_attach(&u, nullptr);
  }
  void TearDown() override { ui_destroy(&u); }

  // One frame of the page in body, on a white background; the back buffer is then read.
  void draw(const std::function<void(ui*)>& body) {
    glViewport(0, 0, W, H);
    frame.time += 16.0;
    display_frame_define(&frame, nullptr);
    ui_define(&u, &frame);
    const float white[4] = {1, 1, 1, 1};
    ui_background(&u, white);
    body(&u);
    ui_commit(&u);
    display_frame_commit(&frame);
    glFinish();
  }
  static rgb at(float dx, float dy) {
    unsigned char p[3] = {0, 0, 0};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(int((dx + 1) * 0.5f * W), int((dy + 1) * 0.5f * H), 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
  }
  // Any pixel of a 3 x 3 neighbourhood of the colour (for one-pixel outlines).
  static bool around(float dx, float dy, int r, int g, int b) {
    for (int i = -1; i <= 1; ++i)
      for (int j = -1; j <= 1; ++j)
        if (is_rgb(at(dx + 2.0f * i / W, dy + 2.0f * j / H), r, g, b)) return true;
    return false;
  }
  // Some pixel of a horizontal run from x0 to x1 has the colour (text on a row).
  static bool any_in_row(float x0, float x1, float dy, int r, int g, int b) {
    for (float dx = x0; dx < x1; dx += 1.0f / W)
      if (is_rgb(at(dx, dy), r, g, b)) return true;
    return false;
  }
  static void move_to(float dx, float dy) { inMouseMotion(int((dx + 1) * 0.5f * W), int((1 - dy) * 0.5f * H)); }

  static xvfb_display* x;
  static frame_stats stats;
  static frame_hooks_array hooks;
  static display_frame frame;
  ui u{};
};

xvfb_display* UiWindow::x = nullptr;
frame_stats UiWindow::stats{};
frame_hooks_array UiWindow::hooks{};
display_frame UiWindow::frame{};

}  // namespace

TEST_F(UiWindow, ButtonFaceAndOutlineFollowItsState) {
  ASSERT_TRUE(x->ready());
  const xy pos = {-0.8f, 0.8f};
  hid id{};
  lrtb box{};
  auto page = [&](ui* v) {
    id = ui_id(v);
    ui_button(v, id, &pos, nullptr, "press me");
    float fh = ui_font_height(v, 2);
    box = {pos.x, pos.x + 8 * fh + 4.0f / W, pos.y, pos.y - 2 * fh + 4.0f / H};
  };
  draw(page);
  xy face = {box.r - 0.02f, 0.5f * (box.t + box.b)};
  EXPECT_TRUE(is_rgb(at(face.x, face.y), 255, 255, 255));
  EXPECT_TRUE(around(box.l, face.y, 0, 0, 0));
  EXPECT_TRUE(is_rgb(at(box.r + 0.02f, face.y), 255, 255, 255));  // nothing outside the box
  move_to(face.x, face.y);
  draw(page);
  draw(page);
  EXPECT_TRUE(is_rgb(at(face.x, face.y), 235, 237, 235));  // hot
  inMouseAction(0, down, mouse_xy.x, mouse_xy.y);
  draw(page);
  draw(page);
  EXPECT_TRUE(is_rgb(at(face.x, face.y), 204, 209, 204));  // active
  EXPECT_TRUE(around(box.l, face.y, 179, 179, 179));  // hot and active: grey outline
  move_to(0.5f, -0.5f);
  draw(page);
  draw(page);
  EXPECT_TRUE(is_rgb(at(face.x, face.y), 204, 209, 204));  // still held, no longer hot
  EXPECT_TRUE(around(box.l, face.y, 0, 0, 0));
  inMouseAction(0, up, mouse_xy.x, mouse_xy.y);
  draw(page);
  EXPECT_TRUE(is_rgb(at(face.x, face.y), 255, 255, 255));
}

TEST_F(UiWindow, ButtonImageSitsInsideTheBoxBeforeTheText) {
  uint8_t red[4 * 4 * 4];
  for (int i = 0; i < 16; ++i) red[4 * i] = 255, red[4 * i + 1] = 0, red[4 * i + 2] = 0, red[4 * i + 3] = 255;
  image img;
  image_make_borrow(&img, red, 4, 4);
  const xy pos = {-0.5f, 0.5f};
  draw([&](ui* v) { ui_button(v, ui_id(v), &pos, &img, "pic"); });
  // 26 x 26 pixels from (l + pad, t - pad): the centre of the picture is red.
  float cx = pos.x + 4.0f / W + 26.0f / W, cy = pos.y - 4.0f / H - 26.0f / H;
  EXPECT_TRUE(is_rgb(at(cx, cy), 255, 0, 0));
}

TEST_F(UiWindow, KnobRingAndValueArc) {
  const xy pos = {-0.5f, 0.5f};
  xy size;
  float radius = 0;
  auto knob_at = [&](float value) {
    draw([&](ui* v) {
      ui_knob_extents(v, &size, &radius);
      ui_knob(v, ui_id(v), &pos, value, 0.0f, 1.0f, "k");
    });
  };
  knob_at(0.0f);
  xy c = {pos.x + 0.5f * size.x, pos.y - 0.5f * size.y};
  EXPECT_TRUE(is_rgb(at(c.x, c.y + radius), 0, 0, 0));  // ring only
  EXPECT_TRUE(is_rgb(at(c.x - radius, c.y), 0, 0, 0));
  EXPECT_TRUE(is_rgb(at(c.x, c.y), 255, 255, 255));  // the hole
  knob_at(0.5f);  // the arc runs clockwise from eight o'clock to four o'clock over the top
  EXPECT_TRUE(is_rgb(at(c.x, c.y + radius), 255, 255, 255));
  EXPECT_TRUE(is_rgb(at(c.x - radius, c.y), 255, 255, 255));
  EXPECT_TRUE(is_rgb(at(c.x + radius, c.y), 0, 0, 0));
  EXPECT_TRUE(is_rgb(at(c.x, c.y - radius), 0, 0, 0));
  knob_at(7.0f);  // above the maximum: a full ring, inside the black one
  EXPECT_TRUE(is_rgb(at(c.x, c.y - radius), 255, 255, 255));
  EXPECT_TRUE(is_rgb(at(c.x + radius, c.y), 255, 255, 255));
  EXPECT_TRUE(is_rgb(at(c.x, c.y - 1.45f * radius), 0, 0, 0));
}

TEST_F(UiWindow, ScrollBarThumbShowsTheVisiblePart) {
  const xy pos = {0.5f, 0.8f};
  float hp = 0;
  auto page = [&](ui* v) {
    hp = ui_horizontal_period(v);
    ui_vertical_scroll(v, ui_id(v), &pos, 0.8f, 0.2f, 0.4f, 1.6f);
  };
  draw(page);
  float mx = pos.x + 0.5f * hp;
  EXPECT_TRUE(is_rgb(at(mx, 0.6f), 153, 153, 153));  // thumb from 0.7 down to 0.5
  EXPECT_TRUE(is_rgb(at(mx, 0.75f), 0, 0, 0));       // track
  EXPECT_TRUE(is_rgb(at(mx, 0.3f), 0, 0, 0));
  EXPECT_TRUE(is_rgb(at(mx, -0.1f), 255, 255, 255));  // below the bar
  move_to(mx, 0.3f);
  draw(page);
  EXPECT_TRUE(is_rgb(at(mx, 0.6f), 102, 102, 102));  // hot
}

TEST_F(UiWindow, StatisticsColumnsShowRangeAndMarker) {
  const float triples[4 * 3] = {0.5f, 0.2f, 0.8f, 0.9f, 0.85f, 0.95f, 0.1f, 0.05f, 0.15f, 0.5f, 0.5f, 0.5f};
  const xy pos = {-0.5f, -0.2f}, size = {0.4f, 0.4f};
  draw([&](ui* v) { ui_stats(v, &pos, &size, triples, 4); });
  float b = pos.y - size.y;
  EXPECT_TRUE(is_rgb(at(-0.45f, b + 0.4f * 0.3f), 214, 214, 214));  // column 0's range bar
  EXPECT_TRUE(is_rgb(at(-0.45f, b + 0.4f * 0.5f), 0, 0, 0));        // its marker
  EXPECT_TRUE(is_rgb(at(-0.45f, b + 0.4f * 0.95f), 255, 255, 255));
  EXPECT_TRUE(is_rgb(at(-0.35f, b + 0.4f * 0.5f), 255, 255, 255));  // column 1 is high up
  EXPECT_TRUE(is_rgb(at(-0.35f, b + 0.4f * 0.9f), 0, 0, 0));
  EXPECT_TRUE(is_rgb(at(-0.25f, b + 0.4f * 0.1f), 0, 0, 0));
  EXPECT_TRUE(is_rgb(at(-0.05f, b + 0.2f), 255, 255, 255));  // past the last column
}

TEST_F(UiWindow, OverflowingStackScrollsToItsLastElement) {
  ui_layout stack{};
  float last_bottom = 0, hp = 0;
  auto page = [&](ui* v) {
    xy start = {-1.0f, 0.0f};
    ui_set_anchor(v, &start);
    ui_stack_make(&stack, v, ui_id(v), nullptr);
    for (int i = 0; i < 20; ++i) {
      xy a;
      ui_anchor(v, &a);
      ui_button(v, ui_id(v), nullptr, nullptr, "row %02d", i);
      last_bottom = a.y - 2 * ui_font_height(v, 2) + 2.0f / H * 2;
    }
    hp = ui_horizontal_period(v);
    ui_layout_destroy(&stack, v);
  };
  draw(page);
  EXPECT_TRUE(stack.allow_v);
  float bar_x = 1.0f - 0.5f * hp;
  EXPECT_TRUE(is_rgb(at(bar_x, -0.1f), 153, 153, 153));  // thumb at the top of the track
  EXPECT_TRUE(is_rgb(at(bar_x, -0.9f), 0, 0, 0));
  EXPECT_TRUE(is_rgb(at(bar_x, 0.1f), 255, 255, 255));  // nothing above the clip area
  move_to(bar_x, -0.1f);
  inMouseAction(0, down, mouse_xy.x, mouse_xy.y);
  draw(page);
  inMouseMotion(mouse_xy.x, mouse_xy.y + 400);  // drag far down
  draw(page);
  inMouseAction(0, up, mouse_xy.x, mouse_xy.y);
  move_to(0.5f, 0.5f);
  draw(page);
  draw(page);
  EXPECT_NEAR(last_bottom - 0.025f, -1.0f, 1e-3f);  // the last row ends at the clip bottom
  EXPECT_TRUE(is_rgb(at(-0.6f, last_bottom + 0.02f), 255, 255, 255));
  // Glyphs of the last row: its top is 2 fh - 4 px above its bottom, the baseline 15 px under the top.
  float text_y = last_bottom + 2 * ui_font_height(&u, 2) - 4.0f / H - 24.0f / H;
  EXPECT_TRUE(any_in_row(-0.98f, -0.75f, text_y, 0, 0, 0));
  EXPECT_TRUE(is_rgb(at(bar_x, -0.9f), 153, 153, 153));  // thumb at the bottom
  EXPECT_TRUE(is_rgb(at(-0.6f, 0.05f), 255, 255, 255));  // the scrolled rows are cut at the clip top
}

TEST_F(UiWindow, FlowWrapsWhenTheNextElementWouldNotFit) {
  ui_layout flow{};
  xy tops[10];
  draw([&](ui* v) {
    xy start = {-1.0f, 0.9f};
    ui_set_anchor(v, &start);
    ui_flow_make(&flow, v, ui_id(v), nullptr);
    for (int i = 0; i < 10; ++i) {
      ui_anchor(v, &tops[i]);
      ui_button(v, ui_id(v), nullptr, nullptr, "abcd");
    }
    ui_flow_destroy(&flow, v);
  });
  // Each button is 4 font heights plus 4 pixels wide: the eighth leaves too little room and ends the row.
  for (int i = 1; i < 8; ++i) {
    EXPECT_FLOAT_EQ(tops[i].y, 0.9f) << i;
    EXPECT_GT(tops[i].x, tops[i - 1].x);
  }
  EXPECT_FLOAT_EQ(tops[8].x, -1.0f);
  float fh = 26.0f / H, button_h = 2 * fh - 4.0f / H;
  EXPECT_NEAR(tops[8].y, 0.9f - button_h, 1e-5f);  // directly under the row, no gap
  EXPECT_FLOAT_EQ(tops[9].y, tops[8].y);
  EXPECT_FALSE(flow.allow_v);  // a flow never scrolls
  EXPECT_TRUE(is_rgb(at(-0.8f, tops[8].y - 0.5f * button_h), 255, 255, 255));
  EXPECT_TRUE(any_in_row(-0.98f, -0.75f, tops[8].y - 24.0f / H, 0, 0, 0));  // its text
}

TEST_F(UiWindow, ClipAreasCutAndReplaceEachOther) {
  const float red[4] = {1, 0, 0, 1}, blue[4] = {0, 0, 1, 1};
  const lrtb everything = {-1, 1, 1, -1}, left = {-1, 0, 1, -1}, top_right = {0.5f, 1, 1, 0.5f};
  GLboolean after = GL_TRUE;
  draw([&](ui* v) {
    ui_cliparea_begin(v, &left);
    ui_cliparea_begin(v, &top_right);  // replaces the outer area, not intersected with it
    draw_lrtb_box(&everything, red, 1);
    ui_cliparea_end(v);  // the outer area again
    draw_lrtb_box(&everything, blue, 1);
    ui_cliparea_end(v);
    after = glIsEnabled(GL_SCISSOR_TEST);
  });
  EXPECT_TRUE(is_rgb(at(0.75f, 0.75f), 255, 0, 0));
  EXPECT_TRUE(is_rgb(at(0.25f, 0.75f), 255, 255, 255));
  EXPECT_TRUE(is_rgb(at(-0.5f, 0.75f), 0, 0, 255));
  EXPECT_TRUE(is_rgb(at(-0.5f, -0.75f), 0, 0, 255));
  EXPECT_TRUE(is_rgb(at(0.5f, -0.5f), 255, 255, 255));
  EXPECT_EQ(after, GL_FALSE);
}

TEST_F(UiWindow, RealClickThroughTheWindowSystemPressesAButton) {
  const xy pos = {-0.5f, 0.5f};
  int clicks = 0;
  auto pump = [&](int frames) {
    for (int i = 0; i < frames; ++i) {
      glutMainLoopEvent();
      draw([&](ui* v) { clicks += ui_button(v, ui_id(v), &pos, nullptr, "click me"); });
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  pump(10);
  std::string id = run_command("xdotool search --name kv-ui-test | head -n1");
  ASSERT_FALSE(id.empty());
  id.pop_back();
  int px = int((pos.x + 0.1f + 1) * 0.5f * W), py = int((1 - (pos.y - 0.05f)) * 0.5f * H);
  int status = -1;
  run_command("xdotool mousemove --window " + id + " " + std::to_string(px) + " " + std::to_string(py), &status);
  ASSERT_EQ(status, 0);
  pump(5);
  run_command("xdotool mousedown 1", &status);  // a click held for a tenth of a second, as a hand does
  pump(10);
  EXPECT_EQ(clicks, 0);
  run_command("xdotool mouseup 1", &status);
  pump(10);
  EXPECT_EQ(clicks, 1);
}

TEST(Gallery, DrawsEveryWidgetIntoAPicture) {
  xvfb_display display;
  ASSERT_TRUE(display.ready());
  std::string png = binary_dir() + "/gallery.png";
  std::remove(png.c_str());
  int status = -1;
  run_command(binary_dir() + "/bin/kv_gallery --png " + png, &status);
  ASSERT_EQ(status, 0);
  int w = 0, h = 0, n = 0;
  unsigned char* p = stbi_load(png.c_str(), &w, &h, &n, 3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  // The colours every part brings: white page, black text and rings, the plot's grey, the image's orange.
  int white = 0, black = 0, plot = 0, picture = 0;
  for (int i = 0; i < w * h; ++i) {
    const unsigned char* c = p + 3 * i;
    white += c[0] == 255 && c[1] == 255 && c[2] == 255;
    black += c[0] == 0 && c[1] == 0 && c[2] == 0;
    plot += c[0] == 214 && c[1] == 214 && c[2] == 214;
    picture += c[0] == 230 && c[1] == 120 && c[2] == 30;
  }
  stbi_image_free(p);
  EXPECT_GT(white, w * h / 2);
  EXPECT_GT(black, 2000);
  EXPECT_GT(plot, 500);
  EXPECT_GT(picture, 100);
}
