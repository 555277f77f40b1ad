// Display frames: what the display callback draws into, with time stamps and the device's hooks.
#include "library/arch/opengl/frame.hpp"

#include <GL/gl.h>

#include <cstdlib>

#include "library/arch/opengl/debug.hpp"
#include "library/arch/opengl/display-glut.hpp"
#include "library/arch/opengl/framebuffer_texture.hpp"
#include "library/arch/posix/time.hpp"

namespace {

constexpr int32_t frame_kind_raster = 1;
constexpr int32_t frame_kind_plain = -2;

void private_clear_to_black() {
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void private_frame_open(display_frame* frame) {
  frame->open = 1;
  frame->define_time = get_milliseconds();
  if (frame->hooks) frame_hooks_define_all(frame->hooks, frame);
}

// Keeps the raster while its input type and depth match the request; otherwise makes it again in the
// same storage at the device's current resolution. Returns null when no raster can be had.
framebuffer_texture* private_frame_raster(display_frame* frame, int32_t input_type) {
  int32_t bpp = display_device_bpp(frame->device);
  framebuffer_texture* t = frame->raster;
  if (t && framebuffer_texture_input_type(t) == input_type && framebuffer_texture_bits_per_pixel(t) == bpp)
    return t;
  if (t) {
    framebuffer_texture_delete(t);
  } else {
    t = static_cast<framebuffer_texture*>(std::calloc(1, sizeof(framebuffer_texture)));
    if (!t) return nullptr;
    frame->raster = t;
  }
  pixel_size size{0, 0};
  display_device_resolution_in_px(frame->device, &size);
  if (!framebuffer_texture_make(t, input_type, size.width, size.height, bpp)) {
    frame_delete_raster(frame);
    return nullptr;
  }
  return t;
}

// A raster that cannot be made hands out no pixels and a 0 x 0 extent, so the caller writes nothing.
void private_frame_define_raster(display_frame* frame, int32_t input_type, void** pixels, int32_t* width,
                                 int32_t* height, int32_t* stride) {
  frame->kind = frame_kind_raster;
  frame->none = 0;
  int32_t layout[4] = {0, 0, 1, 0};
  *pixels = nullptr;
  if (framebuffer_texture* t = private_frame_raster(frame, input_type))
    framebuffer_texture_define(t, pixels, layout);
  *width = layout[0];
  *height = layout[1];
  *stride = layout[3];
  private_frame_open(frame);
}

}  // namespace

void frame_make(display_frame* frame, display_device* device, double time, frame_stats* stats,
                frame_hooks_array* hooks) {
  *frame = {};
  frame->kind = frame_kind_plain;
  frame->none = 1;
  frame->device = device;
  frame->time = time;
  frame->stats = stats;
  frame->hooks = hooks;
  frame->base_time = get_milliseconds();
}

void frame_delete(display_frame* frame) {
  frame_delete_raster(frame);
  frame->stats = nullptr;
  frame->hooks = nullptr;
}

void frame_delete_raster(display_frame* frame) {
  if (!frame->raster) return;
  framebuffer_texture_delete(frame->raster);
  std::free(frame->raster);
  frame->raster = nullptr;
}

void display_frame_define(display_frame* frame, display_device** device) {
  frame->kind = frame_kind_plain;
  frame->none = 0;
  if (device) *device = frame->device;
  private_frame_open(frame);
}

void display_frame_define_raster_float96(display_frame* frame, float** pixels, int32_t* width,
                                         int32_t* height, int32_t* stride) {
  void* p = nullptr;
  private_frame_define_raster(frame, FRAMEBUFFER_INPUT_FLOAT96, &p, width, height, stride);
  *pixels = static_cast<float*>(p);
}

void display_frame_define_raster_i32(display_frame* frame, uint32_t** pixels, int32_t* width,
                                     int32_t* height, int32_t* stride) {
  void* p = nullptr;
  private_frame_define_raster(frame, FRAMEBUFFER_INPUT_I32, &p, width, height, stride);
  *pixels = static_cast<uint32_t*>(p);
}

void display_frame_commit(display_frame* frame) {
  if (frame->hooks) frame_hooks_commit_all(frame->hooks, frame);
  frame->open = 0;
  frame->commit_time = get_milliseconds();
  if ((frame->kind & 1) && frame->raster) {
    private_clear_to_black();
    framebuffer_texture_commit(frame->raster);
  }
  opengl_trace("library/arch/opengl/frame", 171);
}

void display_frame_commit_none(display_frame* frame) {
  frame->none = 1;
  frame->define_time = frame->commit_time = get_milliseconds();
  private_clear_to_black();
}

double display_frame_in_ms(const display_frame* frame) { return frame->time; }

display_device* display_frame_device(const display_frame* frame) { return frame->device; }

frame_hooks_array* display_frame_hooks(const display_frame* frame) { return frame->hooks; }

int32_t display_frame_add_hooks(display_frame* frame, frame_hooks_make_world_fn make_world,
                                frame_hooks_delete_world_fn delete_world, frame_hooks_step_fn define,
                                frame_hooks_step_fn commit) {
  if (!frame->hooks) return -1;
  int32_t index = frame_hooks_add(frame->hooks, make_world, delete_world, define, commit);
  if (index >= 0 && frame->open) frame_hooks_run_define(frame->hooks, index, frame);
  return index;
}

void display_frame_remove_hooks(display_frame* frame, int32_t index) {
  if (frame->hooks) frame_hooks_remove(frame->hooks, index);
}
