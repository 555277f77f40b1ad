// Times one vfx_do at 1280 x 720 under Xvfb and Mesa, split by pass: visuals_bench [frames].
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "apps/kelvarin/visuals.hpp"
#include "library/arch/opengl/material.hpp"
#include "library/arch/posix/time.hpp"
#include "tests/visuals/glut_window.hpp"

namespace {

constexpr int32_t pass_count = VFX_LAYERS + 3;  // layers, mix, screen, whole frame
const char* const pass_names[pass_count] = {"layer 0", "layer 1", "layer 2", "layer 3", "mix", "screen",
                                            "vfx_do"};

// The passes as vfx_do runs them, each timed to completion (framebuffer passes end in glFinish already).
void timed_frame(glut_window& w, std::vector<double>* ms) {
  display_frame* frame = w.begin_frame();
  material m;
  vfx_material_make(&m);
  glPushMatrix();
  double start = get_milliseconds(), t = start;
  auto lap = [&](int32_t i) {
    glFinish();
    double now = get_milliseconds();
    ms[i].push_back(now - t);
    t = now;
  };
  for (int32_t layer = 0; layer < VFX_LAYERS; ++layer) {
    vfx_layer_pass(frame, &m, layer);
    lap(layer);
  }
  vfx_mix_pass(frame, &m);
  lap(VFX_LAYERS);
  vfx_screen_pass(frame, &m);
  lap(VFX_LAYERS + 1);
  glPopMatrix();
  w.end_frame();
  ms[VFX_LAYERS + 2].push_back(get_milliseconds() - start);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int32_t frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  glut_window& w = glut_window::shared(1280, 720);
  if (!w.ready()) {
    std::puts("no GL window (Xvfb, GLUT or GLEW failed)");
    return 1;
  }
  std::printf("renderer: %s, %dx%d\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)), w.width(),
              w.height());
  vfx_attach_sized(w.device(), w.size());
  // A moving picture: the layers turn and feed each other, as in a performance.
  for (int32_t l = 0; l < VFX_LAYERS; ++l) modmatrix[l][l].rotate_z = 0.01f * float(l + 1);
  modmatrix[0][2].on = 1;
  modmatrix[1][3].on = 1;
  for (int32_t i = 0; i < 10; ++i) {
    vfx_do(w.begin_frame());
    w.end_frame();
  }
  std::vector<double> ms[pass_count];
  double whole = 0.0;
  for (int32_t i = 0; i < frames; ++i) {
    double start = get_milliseconds();
    vfx_do(w.begin_frame());
    glFinish();
    w.end_frame();
    whole += get_milliseconds() - start;
    timed_frame(w, ms);
  }
  std::printf("vfx_do as called: mean %.2f ms over %d frames\n", whole / frames, frames);
  for (int32_t i = 0; i < pass_count; ++i) {
    double sum = 0.0;
    for (double x : ms[i]) sum += x;
    std::printf("%-8s mean %7.3f ms  median %7.3f ms\n", pass_names[i], sum / double(ms[i].size()),
                median(ms[i]));
  }
  vfx_detach();
  return 0;
}
