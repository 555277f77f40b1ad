// A steady interface frame allocates nothing after the first: every malloc of the process is counted.
#include <gtest/gtest.h>

#include <cstdlib>

#include "apps/experiments/layout.hpp"
#include "apps/experiments/widgets.hpp"
#include "library/arch/opengl/frame.hpp"

// glibc's allocator under its own names: the counting wrappers forward to it. (Built only without
// sanitizers, whose allocators these wrappers would bypass.)
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
namespace {
int counting = 1;
long allocations = 0;
}  // namespace
extern "C" void* malloc(size_t n) { return allocations += counting, __libc_malloc(n); }
extern "C" void* calloc(size_t n, size_t size) { return allocations += counting, __libc_calloc(n, size); }
extern "C" void* realloc(void* p, size_t n) { return allocations += counting, __libc_realloc(p, n); }

// A page without text (GLUT fonts need a window): nested layouts, scroll bars, ids and statistics plots.
TEST(SteadyFrame, AllocatesNothingAfterTheFirst) {
  static float triples[3 * 512];
  for (int32_t i = 0; i < 512; ++i) triples[3 * i] = 0.5f, triples[3 * i + 1] = 0.4f, triples[3 * i + 2] = 0.6f;
  frame_stats stats{};
  frame_hooks_array hooks{};
  display_frame frame;
  frame_make(&frame, nullptr, 0.0, &stats, &hooks);
  ui u;
  ui_make(&u);
  ui_layout outer{}, row{};
  long first = 0;
  for (int32_t n = 0; n < 30; ++n) {
    frame.time = 16.0 * n;
    display_frame_define(&frame, nullptr);
    ui_define(&u, &frame);
    ui_stack_make(&outer, &u, ui_id(&u), nullptr);
    private_do_margin(&u);
    for (int32_t r = 0; r < 40; ++r) {
      ui_flow_make(&row, &u, ui_id(&u), &outer);
      for (int32_t k = 0; k < 8; ++k) {
        xy size = {0.1f, 0.05f};
        ui_stats(&u, nullptr, &size, triples, 512);
        ui_vertical_scroll(&u, ui_id(&u), nullptr, 0.1f, 0.0f, 0.1f, 0.3f);
      }
      ui_flow_destroy(&row, &u);
    }
    ui_layout_destroy(&outer, &u);
    ui_commit(&u);
    display_frame_commit(&frame);
    if (n == 0) first = allocations;  // the first frame grows every array
  }
  counting = 0;
  EXPECT_GT(first, 0) << "the counter is live";
  EXPECT_EQ(allocations, first);
  ui_destroy(&u);
  frame_hooks_delete_all(&hooks);
}
