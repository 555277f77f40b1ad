// Display frames: what the display callback draws into, with time stamps and the device's hooks.
#pragma once
#include <cstdint>

#include "library/arch/opengl/frame-hooks.hpp"
#include "library/arch/opengl/frame-stats.hpp"

struct display_device;
struct framebuffer_texture;

// A frame is either drawn directly with OpenGL (plain) or filled as a pixel raster that is blitted at
// commit (raster). Frames are used only on the window thread.
struct display_frame {
  int32_t kind;  // 1 = raster, -2 = plain; only bit 0 is tested
  int32_t none;  // carries nothing: set at make and by commit none, cleared by every define
  int32_t open;  // between define and commit
  display_device* device;
  framebuffer_texture* raster;  // owned; made at the first raster define
  double base_time;             // ms, clock when the frame was made
  double time;                  // ms, the frame's time, set by its user before each use
  double define_time;           // ms
  double commit_time;           // ms
  frame_stats* stats;           // shared by the frames of one device
  frame_hooks_array* hooks;     // shared by the frames of one device
};

void frame_make(display_frame* frame, display_device* device, double time, frame_stats* stats,
                frame_hooks_array* hooks);
// Releases the raster framebuffer (needs the GL context it was made in) and drops the shared parts.
void frame_delete(display_frame* frame);
// Deletes and frees the raster framebuffer alone, when its window's GL context goes away.
void frame_delete_raster(display_frame* frame);

// Plain define: hands out the device and runs the define hooks.
void display_frame_define(display_frame* frame, display_device** device);
// Raster defines: pixels of three floats (0 to 1) or of one word 0x00RRGGBB, rows `stride` pixels
// apart, sized to the device's window. The raster is kept while input type and bit depth stay.
void display_frame_define_raster_float96(display_frame* frame, float** pixels, int32_t* width,
                                         int32_t* height, int32_t* stride);
void display_frame_define_raster_i32(display_frame* frame, uint32_t** pixels, int32_t* width,
                                     int32_t* height, int32_t* stride);
// Runs the commit hooks, stamps the time, blits a raster frame over a black screen and reports a
// pending GL error.
void display_frame_commit(display_frame* frame);
// Instead of define and commit: the frame carries nothing and the screen is cleared to black.
void display_frame_commit_none(display_frame* frame);

double display_frame_in_ms(const display_frame* frame);
display_device* display_frame_device(const display_frame* frame);
frame_hooks_array* display_frame_hooks(const display_frame* frame);

// Appends a hook to the frame's device list and returns its index (-1 when the list cannot grow);
// when the frame is open the hook's define runs at once with this frame.
int32_t display_frame_add_hooks(display_frame* frame, frame_hooks_make_world_fn make_world,
                                frame_hooks_delete_world_fn delete_world, frame_hooks_step_fn define,
                                frame_hooks_step_fn commit);
void display_frame_remove_hooks(display_frame* frame, int32_t index);
