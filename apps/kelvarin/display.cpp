// The instrument's display callbacks: the title for three seconds, then the panel or the performance view.
#include "apps/kelvarin/display.hpp"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cstdlib>

#include "apps/brightloom/env-all.hpp"
#include "apps/kelvarin/ui.hpp"
#include "apps/kelvarin/visuals.hpp"
#include "library/arch/opengl/frame.hpp"
#include "library/arch/opengl/sprite.hpp"
#include "library/visuals/image.hpp"

// The build chooses what follows the title: the panel alone (editor), the replayed playlist over the
// visuals (demo, the default), or, with neither, the panel under the title and then the visuals.
#ifndef KELVARIN_EDITOR_P
#define KELVARIN_EDITOR_P 0
#endif
#ifndef KELVARIN_DEMO_P
#define KELVARIN_DEMO_P 1
#endif
constexpr int editor_p = KELVARIN_EDITOR_P;
constexpr int demo_p = KELVARIN_DEMO_P;

namespace {

image* img = nullptr;  // the title, read once and kept for the whole run

void private_load_title() {
  byte_array path = vpath("virtual://root/title.jpg");
  img = static_cast<image*>(std::calloc(1, sizeof(image)));
  if (img && array_data(path)) image_make_from_file(img, array_data(path));
  array_reset(path);
}

// Every frame starts from black, so nothing of an earlier frame (the title) stays where the panel and
// the visuals leave the view undrawn.
void private_clear_view() {
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

}  // namespace

float now(const display_frame* frame) { return float(display_frame_in_ms(frame)); }

void show_title() {
  if (!img) private_load_title();
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gluOrtho2D(-1, 1, -1, 1);
  if (!img) return;
  sprite s;
  const vector4 top_left{-1.0f, 1.0f, 0.0f, 0.0f}, whole_view{2.0f, 2.0f, 0.0f, 0.0f};
  sprite_make(&s, img);
  sprite_draw(&s, &top_left, &whole_view);
  sprite_delete(&s);
}

void do_display(void*, display_frame* frame) {
  display_device* device = nullptr;
  display_frame_define(frame, &device);
  private_clear_view();
  if (editor_p) {
    oui_do(frame);
  } else if (demo_p) {
    if (now(frame) < title_period_ms) {
      show_title();
    } else {
      oui_do_timeline(frame);
      vfx_do(frame);
    }
  } else {
    oui_do(frame);
    if (now(frame) < title_period_ms) {
      show_title();
    } else {
      vfx_do(frame);
    }
  }
  display_frame_commit(frame);
}

void do_display_attach(void*, [[maybe_unused]] display_device* device) {
  oui_attach(device);
  vfx_attach(display_context_get_device(device));
}

void do_display_detach(void*, [[maybe_unused]] display_device* device) {
  vfx_detach();
}
