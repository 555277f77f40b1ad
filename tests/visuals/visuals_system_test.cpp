// The feedback engine on Mesa under Xvfb, drawn through framebuffers: the seed, half-turn layers, triggers,
// a voice's level measured for a layer's scale, and no framebuffer past the layers.
#include <gtest/gtest.h>

#include <cmath>

#include "apps/kelvarin/visuals.hpp"
#include "tests/visuals/glut_window.hpp"
#include "toolset/atomics.hpp"

namespace {
glut_window& w = glut_window::shared();

void clear(display_frame* frame, const float* rgba, const int32_t* box = nullptr, const float* inside = nullptr) {
  display_device* device = nullptr;
  display_frame_define(frame, &device);
  glClearColor(rgba[0], rgba[1], rgba[2], rgba[3]);
  glClear(GL_COLOR_BUFFER_BIT);
  if (box) {
    glEnable(GL_SCISSOR_TEST);
    glScissor(box[0], box[1], box[2], box[3]);
    glClearColor(inside[0], inside[1], inside[2], inside[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
  }
  display_frame_commit(frame);
}
void frame() {
  vfx_do(w.begin_frame());
  w.end_frame();
}
void fill(int32_t index, const float* rgba, const int32_t* box = nullptr, const float* inside = nullptr) {
  clear(framebuffer_addf(&feedback[index], w.begin_frame()), rgba, box, inside);
  w.end_frame();
}
rgba_image layer(int32_t l) { return w.read(&feedback[l + 1]); }
bool centre(const rgba_image& image, uint8_t grey) {
  return image.near(image.width / 2, image.height / 2, grey, grey, grey);
}
void feed(int32_t voice, float (*signal)(int32_t)) {
  static int32_t t = 0;
  for (int32_t i = 0; i < OSC_BUFFER_N; ++i, ++t) vfx_accept_sample(signal(t), voice);
}
float square(int32_t t) { return (t / 100) % 2 ? 0.8f : -0.8f; }
float quiet_sine(int32_t t) { return 0.1f * std::sin(2.0f * float(M_PI) * 440.0f * float(t) / 44100.0f); }
float loud_sine(int32_t t) { return 0.9f * std::sin(2.0f * float(M_PI) * 450.0f * float(t) / 44100.0f); }
constexpr float white[4] = {1, 1, 1, 1}, black[4] = {0, 0, 0, 1}, red[4] = {1, 0, 0, 1};
}  // namespace

TEST(Visuals, SeedHalfTurnLayersTriggersAndLevels) {
  vfx_attach_sized(w.device(), w.size());
  frame();  // the first frame seeds every layer white, each at 0.97: the outermost columns stay clear
  EXPECT_TRUE(centre(w.read(nullptr), 255));
  for (int32_t l = 0; l < VFX_LAYERS; ++l) EXPECT_TRUE(centre(layer(l), 255)) << l;
  EXPECT_TRUE(layer(0).near(0, w.height() / 2, 0, 0, 0));
  // Each layer is the previous mix turned half a turn and scaled by 0.97.
  const int32_t mark[4] = {64, 200, 192, 120};
  fill(0, white, mark, red);
  rgba_image before = w.read(&feedback[0]);
  frame();
  const float W = float(w.width()), H = float(w.height());
  for (int32_t l = 0; l < VFX_LAYERS; ++l) {
    rgba_image after = layer(l);
    int32_t marked = 0, wrong = 0;
    for (int32_t y = 1; y < w.height(); y += 5)
      for (int32_t x = 1; x < w.width(); x += 5) {
        float qx = -((x + 0.5f) / W * 2 - 1) / 0.97f, qy = -((y + 0.5f) / H * 2 - 1) / 0.97f;
        float mx = (qx + 1) / 2 * W, my = (qy + 1) / 2 * H;
        bool edge = std::fabs(mx - mark[0]) < 3 || std::fabs(mx - mark[0] - mark[2]) < 3 ||
                    std::fabs(my - mark[1]) < 3 || std::fabs(my - mark[1] - mark[3]) < 3;
        if (std::fabs(qx) > 0.99f || std::fabs(qy) > 0.99f || edge) continue;
        const uint8_t* want = before.at(int32_t(mx), int32_t(my));
        marked += want[1] < 128;
        wrong += !after.near(x, y, want[0], want[1], want[2]);
      }
    EXPECT_GT(marked, 300);
    EXPECT_EQ(wrong, 0) << "layer " << l;
  }
  // A square wave resets its layer white once per window; a quiet sine never does.
  modmatrix_of[0][1] = {4, 3, 1.0f, 1.0f, 0.0f, 0};
  float (*signals[3])(int32_t) = {square, quiet_sine, quiet_sine};  // the step into the sine is an edge too
  for (int i = 0; i < 3; ++i) {
    fill(0, black);
    feed(0, signals[i]);
    frame();
    if (i != 1) { EXPECT_EQ(centre(layer(1), 255), i == 0) << i; }
    EXPECT_TRUE(centre(layer(0), 0));
  }
  // A loud voice's level, measured from its samples, is what the frame routes to layer 1's scale.
  modmatrix_of[0][1] = {1, 1, -10.0f, 1.0f, 0.0f, 0};
  feed(0, loud_sine);
  frame();
  float rms = 0.9f / std::sqrt(2.0f);
  EXPECT_NEAR(load_relaxed(modmatrix_of[0][1].value), std::sqrt(1.0f + rms * rms) - 1.0f, 2e-3f);
  // There are the mix and a framebuffer per layer, no more: an index past them draws nothing.
  display_frame* screen = w.begin_frame();
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  for (int32_t index : {-1, VFX_LAYERS + 1}) rdq(screen, 1, index);
  w.end_frame();
  EXPECT_TRUE(w.read(nullptr).near(5, 5, 255, 0, 0, 0));
  vfx_detach();
  modmatrix_make();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
