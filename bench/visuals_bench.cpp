// Times one vfx_do at 1280 x 720 under Xvfb and Mesa, split by pass: visuals_bench [frames].
#include <time.h>

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

// CPU time of the whole process in ms, Mesa's rendering threads included: on a shared machine it says
// more about the cost than the wall clock does.
double cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) * 1e-6;
}

struct lap_times {
  std::vector<double> wall, cpu;
};

// The passes as vfx_do runs them, each timed to completion (framebuffer passes end in glFinish already).
void timed_frame(glut_window& w, lap_times* ms) {
  display_frame* frame = w.begin_frame();
  material m;
  vfx_material_make(&m);
  glPushMatrix();
  double start = get_milliseconds(), t = start, start_cpu = cpu_ms(), c = start_cpu;
  auto lap = [&](int32_t i) {
    glFinish();
    double now = get_milliseconds(), now_cpu = cpu_ms();
    ms[i].wall.push_back(now - t);
    ms[i].cpu.push_back(now_cpu - c);
    t = now;
    c = now_cpu;
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
  ms[VFX_LAYERS + 2].wall.push_back(get_milliseconds() - start);
  ms[VFX_LAYERS + 2].cpu.push_back(cpu_ms() - start_cpu);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double mean(const std::vector<double>& v) {
  double sum = 0.0;
  for (double x : v) sum += x;
  return sum / double(v.size());
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
  lap_times ms[pass_count];
  lap_times whole;
  for (int32_t i = 0; i < frames; ++i) {
    double start = get_milliseconds(), start_cpu = cpu_ms();
    vfx_do(w.begin_frame());
    glFinish();
    w.end_frame();
    whole.wall.push_back(get_milliseconds() - start);
    whole.cpu.push_back(cpu_ms() - start_cpu);
    timed_frame(w, ms);
  }
  std::printf("%d frames; wall clock and process CPU (Mesa's threads included), ms\n", frames);
  std::printf("%-18s wall mean %7.2f median %7.2f | cpu mean %7.2f median %7.2f\n", "vfx_do as called",
              mean(whole.wall), median(whole.wall), mean(whole.cpu), median(whole.cpu));
  for (int32_t i = 0; i < pass_count; ++i)
    std::printf("%-18s wall mean %7.2f median %7.2f | cpu mean %7.2f median %7.2f\n", pass_names[i],
                mean(ms[i].wall), median(ms[i].wall), mean(ms[i].cpu), median(ms[i].cpu));
  vfx_detach();
  return 0;
}
