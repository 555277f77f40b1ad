// CPU time to build one interface page of 500 widgets (the instrument panel's size) in a real GL window.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

#include "apps/experiments/layout.hpp"
#include "apps/experiments/widgets.hpp"
#include "library/arch/opengl/frame.hpp"
#include "tests/support/servers.hpp"

namespace {

constexpr int rows = 25, knobs_per_row = 15;  // 25 rows of 20 widgets: label, plot, 3 buttons, 15 knobs

struct bench_page {
  ui u;
  ui_layout page, row[rows];
  float values[rows][knobs_per_row];
  float history[3 * 512];
  frame_stats stats;
  frame_hooks_array hooks;
  display_frame frame;
};

bench_page* b = nullptr;
xvfb_display* display = nullptr;  // only when no display was given

void bench_window() {
  if (!std::getenv("DISPLAY")) display = new xvfb_display(1280, 800);
  int argc = 1;
  char name[] = "uilib-bench";
  char* argv[] = {name, nullptr};
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(1280, 720);
  glutCreateWindow("uilib-bench");
  b = new bench_page{};
  ui_make(&b->u);
  frame_make(&b->frame, nullptr, 0.0, &b->stats, &b->hooks);
  for (int i = 0; i < 512; ++i)
    b->history[3 * i] = 0.5f + 0.3f * std::sin(0.1f * float(i)), b->history[3 * i + 1] = 0.2f, b->history[3 * i + 2] = 0.8f;
}

void bench_build_page(bench_page* p) {
  ui* u = &p->u;
  glViewport(0, 0, 1280, 720);
  p->frame.time += 16.0;
  display_frame_define(&p->frame, nullptr);
  ui_define(u, &p->frame);
  const float white[4] = {1, 1, 1, 1};
  ui_background(u, white);
  ui_stack_make(&p->page, u, ui_id(u), nullptr);
  for (int r = 0; r < rows; ++r) {
    ui_flow_make(&p->row[r], u, ui_id(u), &p->page);
    ui_label(u, nullptr, "%1d", r + 1);
    xy size = {2 * ui_horizontal_period(u), ui_vertical_period(u)};
    ui_stats(u, nullptr, &size, p->history, 512);
    ui_button(u, ui_id(u), nullptr, nullptr, "%s", "saw");
    for (int k = 0; k < knobs_per_row; ++k)
      p->values[r][k] = ui_knob(u, ui_id(u), nullptr, p->values[r][k], 0.0f, 1.0f, "p %3.0f", p->values[r][k] * 100);
    ui_button(u, ui_id(u), nullptr, nullptr, "trig");
    ui_button(u, ui_id(u), nullptr, nullptr, "lfo");
    ui_flow_destroy(&p->row[r], u);
  }
  ui_layout_destroy(&p->page, u);
  ui_commit(u);
  display_frame_commit(&p->frame);
}

void BM_page_of_500_widgets(benchmark::State& state) {
  if (!b) bench_window();
  for (auto _ : state) {
    bench_build_page(b);
    state.PauseTiming();
    glFinish();  // rasterising is the GPU's (here Mesa's threads') work, not the page's
    state.ResumeTiming();
  }
  state.counters["widgets"] = rows * (5 + knobs_per_row);
}
BENCHMARK(BM_page_of_500_widgets)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (display) {
    glutExit();
    delete display;
  }
  return 0;
}
