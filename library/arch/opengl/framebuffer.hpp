// Offscreen render targets: a framebuffer object drawing into a texture through a display frame of its own.
#pragma once
#include <cstdint>

#include "library/arch/opengl/display-glut.hpp"
#include "library/arch/opengl/frame-hooks.hpp"
#include "library/arch/opengl/frame-stats.hpp"
#include "library/arch/opengl/frame.hpp"
#include "library/arch/opengl/texture.hpp"

// Defining `frame` binds the object and committing it binds back what was bound when the framebuffer
// was made, so whatever is drawn in between lands in `colour`, which is then drawn like any texture.
// Window thread only, with the GL context current.
struct framebuffer {
  frame_stats stats;
  frame_hooks_array hooks;  // the frame's own list, not shared with the display frames
  display_frame frame;      // made for the display device with time 0
  int32_t hook_index;       // the binding hook in `hooks`; -1 without one
  texture colour;           // colour attachment 0, the size of the display, padded to powers of two
  int32_t available;        // 1 when the object exists and is complete
  uint32_t object;          // GL framebuffer name
  uint32_t previous;        // the binding current when this one was made (0 = the window)
};

// Makes the stats, hook list, frame and colour texture at the device's resolution, then the object.
// Without the extension ("ERROR: FBO extension unavailable!") or with an incomplete object ("could not
// setup framebuffer extension.") the frame has no binding hook and draws into whatever is bound.
void framebuffer_make(framebuffer* fb, display_device* device);
// The same at a given size in pixels (a display that is not the window, or a test's).
void framebuffer_make_sized(framebuffer* fb, display_device* device, pixel_size size);
// Deletes the object, the hook, the frame, its hook list (with the geometry buffers hung on it) and
// the texture.
void framebuffer_destroy(framebuffer* fb);
// Hands the display frame's time to the framebuffer's frame and returns that frame, ready for
// display_frame_define / display_frame_commit.
display_frame* framebuffer_addf(framebuffer* fb, const display_frame* frame);
texture* framebuffer_as_texture(framebuffer* fb);
// The framebuffer whose own frame this is (only valid for such frames).
framebuffer* framebuffer_of_frame(display_frame* frame);

// ==== The object and its binding hook
void opengl_framebuffer_make(framebuffer* fb, pixel_size size);
void opengl_framebuffer_destroy(framebuffer* fb);
void activate(framebuffer* fb);
void deactivate(framebuffer* fb);
// Whether the framebuffer now bound (the object, while making it) is complete.
int is_complete(const framebuffer* fb);
void* hook_world_allocate();
void hook_world_free(void* world);
void hook_world_define(void* world, display_frame* frame);
void hook_world_commit(void* world, display_frame* frame);
