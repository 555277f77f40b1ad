// CPU time of one panel frame (the page built, drawn and finished by the GL) in a window of the
// instrument's size under X and Mesa; starts its own Xvfb when DISPLAY is unset: panel_bench.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals_model.hpp"
#include "library/arch/opengl/extensions.hpp"
#include "library/arch/opengl/frame.hpp"
#include "tests/support/servers.hpp"

namespace {

constexpr int width = 904, height = 509;  // the instrument's window on a 1280 x 800 screen

frame_stats stats;
frame_hooks_array hooks;
display_frame panel_frame;

// A loud shipped slot (when the resources beside the executable hold one) so the plots have content.
void make_panel_state() {
  oscs_make();
  modmatrix_make();
  kelvarin_ui_history_make(&oui_history);
  slot_load(0);
  for (int v = 0; v < 8; ++v)
    for (int i = 0; i < HISTORY_LENGTH; ++i) oui_history.history[v][i] = {0.5f, 0.2f + 0.001f * float(i % 97), 0.8f};
  ui_make(&oui.ui);
  frame_make(&panel_frame, nullptr, 0.0, &stats, &hooks);
}

void panel_frame_once(double time_ms) {
  glViewport(0, 0, width, height);
  panel_frame.time = time_ms;
  display_frame_define(&panel_frame, nullptr);
  oui_do(&panel_frame);
  display_frame_commit(&panel_frame);
  glFinish();
  glutSwapBuffers();
  glutMainLoopEvent();
}

void BM_PanelFrame(benchmark::State& state) {
  double t = 5000.0;
  for (auto _ : state) panel_frame_once(t += 16.0);
}
BENCHMARK(BM_PanelFrame)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<xvfb_display> display;
  if (!std::getenv("DISPLAY")) display = std::make_unique<xvfb_display>(1280, 800);
  int glut_argc = 1;
  char name[] = "panel_bench";
  char* glut_argv[] = {name, nullptr};
  glutInit(&glut_argc, glut_argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(width, height);
  int window = glutCreateWindow("panel_bench");
  glutDisplayFunc([] {});
  opengl_extensions_init();
  make_panel_state();
  for (int i = 0; i < 5; ++i) panel_frame_once(5000.0);  // first frames snap the knobs and fill caches
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  glutDestroyWindow(window);
  glutExit();
  return 0;
}
