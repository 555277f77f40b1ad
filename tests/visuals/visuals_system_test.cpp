// The feedback engine on Mesa under Xvfb: seed, half-turn layers, triggers, mixing, modulation, re-attach.
#include <gtest/gtest.h>

#include <cmath>

#include "apps/kelvarin/visuals.hpp"
#include "tests/visuals/glut_window.hpp"
#include "toolset/atomics.hpp"

namespace {

constexpr int32_t window_n = OSC_BUFFER_N;

struct rect {
  int32_t x, y, w, h;  // GL pixels, from the bottom left
  bool holds(float px, float py, float margin) const {
    return px >= x + margin && px < x + w - margin && py >= y + margin && py < y + h - margin;
  }
  bool near_edge(float px, float py, float margin) const {
    return px >= x - margin && px < x + w + margin && py >= y - margin && py < y + h + margin &&
           !holds(px, py, margin);
  }
};

class Visuals : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(w.ready());
    vfx_attach_sized(w.device(), w.size());
    for (auto& voice : modmatrix_of)
      for (frame_modulation& e : voice) e.trigger = 0;
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  void TearDown() override {
    vfx_detach();
    modmatrix_make();
  }

  void frame() {
    vfx_do(w.begin_frame());
    w.end_frame();
  }
  // Fills framebuffer `index` with one colour (none: keeps it), optionally with a rectangle of another.
  void fill(int32_t index, const float* rgba, const rect* r = nullptr, const float* inside = nullptr) {
    display_frame* own = framebuffer_addf(&feedback[index], w.begin_frame());
    display_device* device = nullptr;
    display_frame_define(own, &device);
    if (rgba) {
      glClearColor(rgba[0], rgba[1], rgba[2], rgba[3]);
      glClear(GL_COLOR_BUFFER_BIT);
    }
    if (r) {
      glEnable(GL_SCISSOR_TEST);
      glScissor(r->x, r->y, r->w, r->h);
      glClearColor(inside[0], inside[1], inside[2], inside[3]);
      glClear(GL_COLOR_BUFFER_BIT);
      glDisable(GL_SCISSOR_TEST);
    }
    display_frame_commit(own);
    w.end_frame();
  }
  rgba_image layer(int32_t l) { return w.read(&feedback[l + 1]); }
  rgba_image mix() { return w.read(&feedback[0]); }
  bool centre_is(const rgba_image& image, uint8_t grey) {
    return image.near(image.width / 2, image.height / 2, grey, grey, grey);
  }

  glut_window& w = glut_window::shared();
};

constexpr float white[4] = {1, 1, 1, 1};
constexpr float black[4] = {0, 0, 0, 1};
constexpr float clear_black[4] = {0, 0, 0, 0};
constexpr float red[4] = {1, 0, 0, 1};

void feed(int32_t voice, float (*signal)(int32_t)) {
  static int32_t t = 0;
  for (int32_t i = 0; i < window_n; ++i, ++t) vfx_accept_sample(signal(t), voice);
}
float silence(int32_t) { return 0.0f; }
float square(int32_t t) { return (t / 100) % 2 ? 0.8f : -0.8f; }
float quiet_sine(int32_t t) { return 0.1f * std::sin(2.0f * float(M_PI) * 440.0f * float(t) / 44100.0f); }
float loud_sine(int32_t t) { return 0.9f * std::sin(2.0f * float(M_PI) * 450.0f * float(t) / 44100.0f); }
float quarter(int32_t) { return 0.25f; }

// Along the middle row from the centre to the right: where the layer's white image ends, in view units.
float white_reach(const rgba_image& image) {
  int32_t y = image.height / 2, x = image.width / 2;
  while (x < image.width && image.near(x, y, 255, 255, 255, 60)) ++x;
  return (float(x) / float(image.width)) * 2.0f - 1.0f;
}

}  // namespace

// First in this file: only the first frame of the program seeds the mix.
TEST_F(Visuals, TheFirstFrameIsWhiteOnTheScreenAndInEveryLayer) {
  frame();
  rgba_image screen = w.read(nullptr);
  int32_t off_white = 0;
  for (int32_t y = 0; y < screen.height; ++y)
    for (int32_t x = 0; x < screen.width; ++x) off_white += !screen.near(x, y, 255, 255, 255, 3);
  EXPECT_EQ(off_white, 0);
  for (int32_t l = 0; l < VFX_LAYERS; ++l) EXPECT_TRUE(centre_is(layer(l), 255)) << "layer " << l;
  // Each layer is the seed at 0.97: the outermost columns stayed clear.
  EXPECT_TRUE(layer(0).near(0, screen.height / 2, 0, 0, 0));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(Visuals, EachLayerIsThePreviousMixTurnedHalfATurnAndScaledBy097) {
  frame();
  const rect marks[2] = {{64, 200, 192, 120}, {400, 40, 200, 60}};
  const float blue[4] = {0, 0, 1, 1};
  fill(0, white, &marks[0], red);
  fill(0, nullptr, &marks[1], blue);  // the second mark over the first
  rgba_image before = mix();
  frame();
  const float W = float(w.width()), H = float(w.height());
  for (int32_t l = 0; l < VFX_LAYERS; ++l) {
    rgba_image after = layer(l);
    int32_t checked = 0, wrong = 0, marked = 0;
    for (int32_t y = 1; y < w.height(); y += 5)
      for (int32_t x = 1; x < w.width(); x += 5) {
        // The mix point this pixel shows: the centre turned half a turn, scaled back by 1 / 0.97.
        float qx = -((x + 0.5f) / W * 2 - 1) / 0.97f, qy = -((y + 0.5f) / H * 2 - 1) / 0.97f;
        float mx = (qx + 1) / 2 * W, my = (qy + 1) / 2 * H;
        if (std::fabs(qx) > 0.99f || std::fabs(qy) > 0.99f) continue;
        if (marks[0].near_edge(mx, my, 3) || marks[1].near_edge(mx, my, 3)) continue;
        const uint8_t* want = before.at(int32_t(mx), int32_t(my));
        ++checked;
        marked += want[2] < 128 || want[1] < 128;
        wrong += !after.near(x, y, want[0], want[1], want[2]);
      }
    EXPECT_GT(checked, 5000);
    EXPECT_GT(marked, 500);
    EXPECT_EQ(wrong, 0) << "layer " << l;
  }
  // The mix is the last layer over the others, flipped upside down by its quad.
  rgba_image top = layer(3), now = mix();
  int32_t wrong = 0;
  for (int32_t y = 0; y < w.height(); ++y)
    for (int32_t x = 0; x < w.width(); ++x) {
      const uint8_t* want = top.at(x, w.height() - 1 - y);
      wrong += !now.near(x, y, want[0], want[1], want[2], 3);
    }
  EXPECT_EQ(wrong, 0);
}

TEST_F(Visuals, ASquareWaveTriggersItsLayerWhiteOncePerWindowAndAQuietSineNever) {
  modmatrix_of[0][1] = {4, 3, 1.0f, 1.0f, 0.0f, 0};
  for (int32_t window = 0; window < 3; ++window) {
    fill(0, black);
    feed(0, square);
    frame();
    rgba_image triggered = layer(1);
    EXPECT_TRUE(centre_is(triggered, 255)) << window;
    EXPECT_TRUE(triggered.near(0, 0, 255, 255, 255)) << "the whole layer is reset";
    EXPECT_TRUE(centre_is(layer(0), 0));
    fill(0, black);
    frame();
    EXPECT_TRUE(centre_is(layer(1), 0)) << "one reset per window, " << window;
  }
  // The step from the square's last sample to the sine is an edge of its own: one window passes first.
  feed(0, quiet_sine);
  frame();
  for (int32_t window = 0; window < 3; ++window) {
    fill(0, black);
    feed(0, quiet_sine);
    frame();
    EXPECT_TRUE(centre_is(layer(1), 0)) << window;
  }
}

TEST_F(Visuals, ALayerOffTheDiagonalLeavesTheMixButIsStillDrawnAndFeedsOthers) {
  modmatrix_of[0][3] = {4, 0, 1.0f, 1.0f, 0.0f, 0};
  fill(0, black);
  feed(0, square);
  frame();
  EXPECT_TRUE(centre_is(mix(), 255)) << "on, the white layer 3 lies on top of the mix";
  modmatrix[3][3].on = 0;
  fill(0, black);
  feed(0, square);
  frame();
  EXPECT_TRUE(centre_is(layer(3), 255));
  EXPECT_TRUE(centre_is(mix(), 0));
  modmatrix[3][0].on = 1;
  fill(0, black);
  frame();
  EXPECT_TRUE(centre_is(layer(0), 255)) << "layer 0 draws layer 3's last image";
  EXPECT_TRUE(centre_is(layer(3), 0));
}

TEST_F(Visuals, AVoicesRmsRoutedToALayersScaleShrinksThatLayerOnly) {
  modmatrix_of[0][1] = {1, 1, -10.0f, 1.0f, 0.0f, 0};
  fill(0, white);
  feed(0, silence);
  frame();
  float quiet = white_reach(layer(1));
  EXPECT_NEAR(quiet, 0.97f, 0.01f);
  fill(0, white);
  feed(0, loud_sine);
  frame();
  float measure = load_relaxed(modmatrix_of[0][1].value);
  float rms = 0.9f / std::sqrt(2.0f);
  EXPECT_NEAR(measure, std::sqrt(1.0f + rms * rms) - 1.0f, 2e-3f);
  float expected = std::pow(10.0f, 3.0f * (-10.0f * measure) / 20.0f) * 0.97f;
  EXPECT_NEAR(white_reach(layer(1)), expected, 0.01f);
  EXPECT_LT(expected, 0.6f);
  EXPECT_NEAR(white_reach(layer(0)), 0.97f, 0.01f);
}

TEST_F(Visuals, MvvTurnsItsLayerAboutTheXAxis) {
  modmatrix_of[0][2] = {6, 0, 1.0f, 1.0f, 0.0f, 0};
  fill(0, white);
  feed(0, quarter);
  frame();
  // A quarter turn more than the default full turn shows the image edge on: nothing above the middle.
  EXPECT_TRUE(layer(2).near(w.width() / 2, w.height() / 4, 0, 0, 0));
  EXPECT_TRUE(layer(0).near(w.width() / 2, w.height() / 4, 255, 255, 255));
}

TEST_F(Visuals, TheSelfFlagDrawsTheLayersPreviousImageOverTheMix) {
  modmatrix[1][1].self = 1;
  fill(0, clear_black);
  fill(2, red);
  frame();
  EXPECT_TRUE(centre_is(layer(0), 0));
  EXPECT_TRUE(layer(1).near(w.width() / 2, w.height() / 2, 255, 0, 0));
}

TEST_F(Visuals, AttachingAgainResetsTheMatrixAndStartsFromFreshFramebuffers) {
  frame();
  modmatrix[0][0].scale = 0.5f;
  modmatrix[2][1].on = 1;
  modmatrix_of[5][2].amount = 3.0f;
  vfx_attach_sized(w.device(), w.size());
  EXPECT_FLOAT_EQ(modmatrix[0][0].scale, 0.97f);
  EXPECT_EQ(modmatrix[2][1].on, 0);
  EXPECT_FLOAT_EQ(modmatrix_of[5][2].amount, 0.0f);
  for (framebuffer& fb : feedback) EXPECT_EQ(fb.available, 1);
  // No second seed: the fresh storage (transparent black) carries on.
  frame();
  EXPECT_TRUE(centre_is(mix(), 0));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
