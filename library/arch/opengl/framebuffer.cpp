// Offscreen render targets: a framebuffer object drawing into a texture through a display frame of its own.
#include "library/arch/opengl/framebuffer.hpp"

#include <GL/glew.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "library/arch/opengl/debug.hpp"
#include "library/arch/opengl/extensions.hpp"

namespace {
constexpr const char* source_name = "library/arch/opengl/framebuffer";

bool private_extension_present() { return opengl_extensions_ready() && GLEW_EXT_framebuffer_object; }

// The storage is defined and filled with transparent black at once, so a framebuffer never shows
// undefined memory, and its frame has something to draw even where no object could be made.
void private_define_colour(framebuffer* fb, pixel_size size) {
  void* pixels = nullptr;
  const int32_t extent[2] = {size.width, size.height};
  texture_define(&fb->colour, TEXTURE_NO_MIPMAPS, &pixels, 2, extent);
  texture_commit(&fb->colour);
}

// Binds the object with the texture as colour attachment 0 and, when that is complete, adds the binding
// hook. The caller binds the previous framebuffer again.
void private_attach_colour(framebuffer* fb) {
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb->object);
  opengl_trace(source_name, 82);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, fb->colour.name, 0);
  opengl_trace(source_name, 85);
  if (is_complete(fb)) {
    fb->hook_index = display_frame_add_hooks(&fb->frame, hook_world_allocate, hook_world_free, hook_world_define,
                                             hook_world_commit);
    if (fb->hook_index >= 0) return;
  } else {
    std::puts("could not setup framebuffer extension.");
  }
  // An object that cannot be used is not kept: nothing would ever delete it.
  glDeleteFramebuffersEXT(1, &fb->object);
  fb->object = 0;
  fb->available = 0;
}
}  // namespace

// ==== The record
static_assert(std::is_standard_layout_v<framebuffer>, "framebuffer_of_frame steps back from the frame");

void framebuffer_make(framebuffer* fb, display_device* device) {
  pixel_size size{0, 0};
  display_device_resolution_in_px(device, &size);
  framebuffer_make_sized(fb, device, size);
}

void framebuffer_make_sized(framebuffer* fb, display_device* device, pixel_size size) {
  *fb = framebuffer{};
  fb->hook_index = -1;
  frame_stats_make(&fb->stats);
  frame_make(&fb->frame, device, 0.0, &fb->stats, &fb->hooks);
  texture_make(&fb->colour);
  opengl_framebuffer_make(fb, size);
}

void framebuffer_destroy(framebuffer* fb) {
  opengl_framebuffer_destroy(fb);
  frame_delete(&fb->frame);
  frame_hooks_delete_all(&fb->hooks);
  texture_delete(&fb->colour);
}

display_frame* framebuffer_addf(framebuffer* fb, const display_frame* frame) {
  fb->frame.time = display_frame_in_ms(frame);
  return &fb->frame;
}

texture* framebuffer_as_texture(framebuffer* fb) { return &fb->colour; }

framebuffer* framebuffer_of_frame(display_frame* frame) {
  return reinterpret_cast<framebuffer*>(reinterpret_cast<char*>(frame) - offsetof(framebuffer, frame));
}

// ==== The object
void opengl_framebuffer_make(framebuffer* fb, pixel_size size) {
  private_define_colour(fb, size);
  fb->available = private_extension_present() ? 1 : 0;
  if (!fb->available) {
    std::puts("ERROR: FBO extension unavailable!");
    return;
  }
  glGenFramebuffersEXT(1, &fb->object);
  GLint bound = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &bound);
  fb->previous = GLuint(bound);
  private_attach_colour(fb);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb->previous);
  opengl_trace(source_name, 99);
}

void opengl_framebuffer_destroy(framebuffer* fb) {
  if (!fb->available) return;
  glDeleteFramebuffersEXT(1, &fb->object);
  fb->object = 0;
  display_frame_remove_hooks(&fb->frame, fb->hook_index);
  fb->hook_index = -1;
  fb->available = 0;
}

int is_complete(const framebuffer*) {
  return glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT ? 1 : 0;
}

void activate(framebuffer* fb) {
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb->object);
  opengl_trace(source_name, 6);
  glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
  opengl_trace(source_name, 8);
  glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
  opengl_trace(source_name, 10);
}

// Waits for the drawing to land before the texture is sampled elsewhere.
void deactivate(framebuffer* fb) {
  glFinish();
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb->previous);
  opengl_trace(source_name, 16);
  if (fb->previous != 0) return;
  glDrawBuffer(GL_BACK);
  glReadBuffer(GL_BACK);
}

// ==== The binding hook: it needs no world of its own, the frame leads to its framebuffer.
void* hook_world_allocate() { return nullptr; }

void hook_world_free(void*) {}

void hook_world_define(void*, display_frame* frame) { activate(framebuffer_of_frame(frame)); }

void hook_world_commit(void*, display_frame* frame) { deactivate(framebuffer_of_frame(frame)); }
