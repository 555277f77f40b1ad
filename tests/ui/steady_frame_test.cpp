// A steady interface frame allocates nothing after the first: every malloc of the process is counted.
#include <gtest/gtest.h>

#include <cstdlib>

#include "apps/experiments/layout.hpp"
#include "apps/experiments/widgets.hpp"
#include "library/arch/opengl/frame.hpp"
#include "library/visuals/geometry.hpp"

// glibc's allocator under its own names: the counting wrappers below forward to it. (Built only without
// sanitizers, whose allocators these wrappers would bypass.)
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

namespace {
int counting = 0;
long allocations = 0;
}  // namespace

extern "C" void* malloc(size_t n) {
  allocations += counting;
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size) {
  allocations += counting;
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n) {
  allocations += counting;
  return __libc_realloc(p, n);
}
extern "C" void free(void* p) { __libc_free(p); }

namespace {

float triples[3 * 512];

// A page without text (GLUT fonts need a window): nested layouts, scroll bars, ids and statistics plots.
void page(ui* u, display_frame* frame, ui_layout* outer, ui_layout* row) {
  display_frame_define(frame, nullptr);
  ui_define(u, frame);
  ui_stack_make(outer, u, ui_id(u), nullptr);
  private_do_margin(u);
  for (int32_t r = 0; r < 40; ++r) {
    ui_flow_make(row, u, ui_id(u), outer);
    for (int32_t k = 0; k < 8; ++k) {
      xy size = {0.1f, 0.05f};
      ui_stats(u, nullptr, &size, triples, 512);
      ui_vertical_scroll(u, ui_id(u), nullptr, 0.1f, 0.0f, 0.1f, 0.3f);
    }
    ui_flow_destroy(row, u);
  }
  ui_layout_destroy(outer, u);
  ui_commit(u);
  display_frame_commit(frame);
}

}  // namespace

TEST(SteadyFrame, AllocatesNothingAfterTheFirst) {
  for (int32_t i = 0; i < 512; ++i) triples[3 * i] = 0.5f, triples[3 * i + 1] = 0.4f, triples[3 * i + 2] = 0.6f;
  frame_stats stats{};
  frame_hooks_array hooks{};
  display_frame frame;
  frame_make(&frame, nullptr, 0.0, &stats, &hooks);
  ui u;
  ui_make(&u);
  ui_layout outer{}, row{};
  page(&u, &frame, &outer, &row);  // the first frame grows every array
  counting = 1;
  for (int32_t n = 1; n < 30; ++n) {
    frame.time = 16.0 * n;
    page(&u, &frame, &outer, &row);
  }
  counting = 0;
  EXPECT_EQ(allocations, 0);
  // The counter is live: the same page in a fresh context does allocate.
  ui fresh;
  counting = 1;
  ui_make(&fresh);
  counting = 0;
  EXPECT_GT(allocations, 0);
  ui_destroy(&fresh);
  ui_destroy(&u);
  frame_hooks_delete_all(&hooks);
}
