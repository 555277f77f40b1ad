// The visual effects: four layer framebuffers and a mix redrawn into each other every frame, driven by audio.
#pragma once
#include <cstdint>

#include "apps/kelvarin/visuals_model.hpp"
#include "library/arch/opengl/framebuffer.hpp"

struct geometry;
struct material;

constexpr int32_t VFX_FEEDBACK = VFX_LAYERS + 1;
// Index 0: the mix; index L + 1: layer L.
extern framebuffer feedback[VFX_FEEDBACK];

// Window thread only. Attach makes the five framebuffers at the device's resolution and resets the
// layer matrix and the modulation entries to their defaults (modmatrix_make); attaching again (a new
// window after a switch) first lets go of the old ones. The mix is seeded white by the first vfx_do
// after the program starts, not after every attach: the visuals carry on over a switch.
void vfx_attach(display_device* device);
// The same at a given size in pixels.
void vfx_attach_sized(display_device* device, pixel_size size);
void vfx_detach();
int vfx_attached_p();
// Renders the layers and the mix and draws the mix onto `frame` (which is open) through the caller's
// modelview matrix, slightly enlarged. Does nothing while detached.
void vfx_do(display_frame* frame);

// A layer's transform for this frame: its diagonal cell moved by the eight voices' entries for it (scl
// scale, rtX rotation about z, rtZ horizontal move, mvh vertical move, mvv rotation about x), or a
// trigger (trg) that resets the layer to white. A trigger is taken: its word is cleared when seen.
struct layer_transform {
  float scale;
  float rotate_x;  // turns
  float rotate_z;  // turns
  float move_h;
  float move_v;
  int32_t trigger;
};
layer_transform vfx_layer_transform(int32_t layer);

// ==== The passes, in vfx_do's order (separate for the benchmark and the tests)
// The fading material every textured draw goes through: blending, no depth, repeat, alpha 0.999997.
void vfx_material_make(material* m);
void vfx_seed_pass(display_frame* frame);  // the mix cleared to white
void vfx_layer_pass(display_frame* frame, material* m, int32_t layer);
void vfx_mix_pass(display_frame* frame, material* m);
void vfx_screen_pass(display_frame* frame, material* m);

// ==== Drawing operations on the current modelview matrix
void scale1(float s);  // (-s, s, 1): every scale mirrors the x axis
void rotx(float turns);
void rotz(float turns);
void moveh(float d);
void movev(float d);
// Clears colour and depth to opaque white, whatever the scissor and the matrix.
void seed();
// Draws feedback[index] as a full-screen quad into the open frame, clearing to transparent black first
// when `clear` is set. The quad puts texture row 0 at the top: every pass flips the image vertically.
void rdq(display_frame* frame, int32_t clear, int32_t index);
// Four vertices (x, y), (x + w, y), (x + w, y + h), (x, y + h) with texture coordinates (0, 0), (u, 0),
// (u, v), (0, v), drawn as one quad.
void quad2d(geometry* g, float u, float v, float x, float y, float w, float h);
