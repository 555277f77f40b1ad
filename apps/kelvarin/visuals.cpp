// The visual effects: four layer framebuffers and a mix redrawn into each other every frame, driven by audio.
#include "apps/kelvarin/visuals.hpp"

#include <GL/glew.h>

#include <cmath>

#include "library/arch/opengl/material.hpp"
#include "library/visuals/geometry.hpp"
#include "pure/math.hpp"
#include "pure/music/amp.hpp"
#include "toolset/atomics.hpp"

framebuffer feedback[VFX_FEEDBACK];

namespace {

constexpr uint32_t fading_flags = MATERIAL_REPEAT | MATERIAL_NO_DEPTH | MATERIAL_BLEND;
static_assert(fading_flags == 138);
// Every textured draw is multiplied by this alpha: the feedback image fades very slowly.
constexpr float fading_argb[4] = {0.999997f, 1.0f, 1.0f, 1.0f};
constexpr float screen_enlargement = 1.08f;
// Bounds that keep a wild entry (a divisor of 0, a preset from elsewhere) from reaching GL as inf or NaN:
// the scale sum in the dB law's units (3 x sum = -120 .. +60 dB), turns and moves in view units.
constexpr float scale_sum_bound_low = -40.0f, scale_sum_bound_high = 20.0f;
constexpr float transform_bound = 1.0e4f;


struct vfx_state {
  int32_t attached;
  int32_t seeded;  // the mix was cleared to white once; stays set over a new window
  texture previous_image;  // a layer's image before its pass, for the self flag; made on first use
};
vfx_state state{};

float private_bounded(float x) { return clamp_f(x, -transform_bound, transform_bound); }

}  // namespace

// Positive scale contributions act a hundred times weaker than negative ones, so loudness can shrink a
// layer far more than it can grow it.
layer_transform vfx_layer_transform(int32_t layer) {
  if (uint32_t(layer) >= uint32_t(VFX_LAYERS)) return {};
  const vfx_cell& cell = modmatrix[layer][layer];
  float scale_sum = 0.0f;
  layer_transform t{0.0f, cell.rotate_x, cell.rotate_z, 0.0f, 0.0f, 0};
  for (auto& voice : modmatrix_of) {
    frame_modulation& e = voice[layer];
    float c = (1.0f / e.divisor) * e.amount * load_relaxed(e.value);
    if (e.type == FRAME_TRIGGER) {
      if (load_relaxed(e.trigger) == 0) continue;
      t.trigger = 1;
      store_relaxed(e.trigger, 0);
      continue;
    }
    if (!std::isfinite(c)) continue;
    if (e.type == FRAME_SCALE) scale_sum += c > 0.0f ? c * 0.01f : c;
    if (e.type == FRAME_ROTATE_Z) t.rotate_z += c;
    if (e.type == FRAME_MOVE_H) t.move_h += c;
    if (e.type == FRAME_MOVE_V) t.move_v += c;
    if (e.type == FRAME_ROTATE_X) t.rotate_x += c;
  }
  scale_sum = clamp_f(scale_sum, scale_sum_bound_low, scale_sum_bound_high);
  t.scale = private_bounded(db_to_amp(3.0f * scale_sum) * cell.scale);
  t.rotate_x = private_bounded(t.rotate_x);
  t.rotate_z = private_bounded(t.rotate_z);
  t.move_h = private_bounded(t.move_h);
  t.move_v = private_bounded(t.move_v);
  return t;
}

namespace {

// Every pass draws full-screen quads from identity, whatever scissor and matrix the caller left.
void private_open_identity() {
  glPushAttrib(GL_SCISSOR_BIT);
  glDisable(GL_SCISSOR_TEST);
  glPushMatrix();
  glLoadIdentity();
}

void private_close_identity() {
  glPopMatrix();
  glPopAttrib();
}

void private_draw_texture(display_frame* frame, int32_t clear, const texture* t) {
  float uv[2] = {1.0f, 1.0f};
  texture_uv(t, uv);
  geometry g;
  geometry_make(&g, frame);
  quad2d(&g, uv[0], uv[1], -1.0f, 1.0f, 2.0f, -2.0f);
  texture_on(t);
  if (clear) {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  geometry_draw(&g, frame);
  texture_off(t);
  geometry_delete(&g);
}

// Reading the texture that is being drawn into is undefined in GL, so a layer that draws its own
// previous image takes it from a copy made while its framebuffer is bound, before anything is drawn.
const texture* private_copy_previous_image(int32_t layer) {
  texture* source = framebuffer_as_texture(&feedback[layer + 1]);
  texture* copy = &state.previous_image;
  if (!copy->alive || copy->extent[0] != source->extent[0] || copy->extent[1] != source->extent[1]) {
    if (copy->alive) texture_delete(copy);
    texture_make(copy);
    void* pixels = nullptr;
    texture_define(copy, TEXTURE_NO_MIPMAPS, &pixels, 2, source->extent);
    texture_commit(copy);
  }
  if (!copy->alive || !copy->defined) return copy;
  glBindTexture(GL_TEXTURE_2D, copy->name);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, copy->extent[0], copy->extent[1]);
  glBindTexture(GL_TEXTURE_2D, 0);
  return copy;
}

void private_apply(const layer_transform& t) {
  movev(t.move_v);
  moveh(t.move_h);
  scale1(t.scale);
  rotx(t.rotate_x);
  rotz(t.rotate_z);
}

// The previous mix through the layer's transform, then, with the self flag, its own previous image.
void private_layer_feedback(display_frame* frame, int32_t layer, const layer_transform& t) {
  const texture* own = modmatrix[layer][layer].self ? private_copy_previous_image(layer) : nullptr;
  private_open_identity();
  private_apply(t);
  rdq(frame, 1, 0);
  if (own) private_draw_texture(frame, 0, own);
  private_close_identity();
}

// Other layers drawn in: those before this one show this frame's image, those after it the last frame's.
void private_layer_sources(display_frame* frame, int32_t layer) {
  for (int32_t j = 0; j < VFX_LAYERS; ++j) {
    const vfx_cell& cell = modmatrix[j][layer];
    if (j == layer || !cell.on) continue;
    private_open_identity();
    scale1(cell.scale);
    rotx(cell.rotate_x);
    rotz(cell.rotate_z);
    rdq(frame, 0, j + 1);
    private_close_identity();
  }
}

}  // namespace

// ==== [SECTION] Drawing operations
void scale1(float s) { glScalef(-s, s, 1.0f); }
void rotx(float turns) { glRotatef(turns * 360.0f, 1.0f, 0.0f, 0.0f); }
void rotz(float turns) { glRotatef(turns * 360.0f, 0.0f, 0.0f, 1.0f); }
void moveh(float d) { glTranslatef(d, 0.0f, 0.0f); }
void movev(float d) { glTranslatef(0.0f, d, 0.0f); }

void seed() {
  private_open_identity();
  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  private_close_identity();
}

void rdq(display_frame* frame, int32_t clear, int32_t index) {
  if (uint32_t(index) >= uint32_t(VFX_FEEDBACK)) return;
  private_draw_texture(frame, clear, framebuffer_as_texture(&feedback[index]));
}

void quad2d(geometry* g, float u, float v, float x, float y, float w, float h) {
  int32_t* indices = nullptr;
  vector4 *positions = nullptr, *texcoords = nullptr;
  geometry_define(g, GEOMETRY_QUADS, 4, &indices, 4, &positions, nullptr, &texcoords, nullptr);
  if (indices && positions && texcoords) {
    for (int32_t i = 0; i < 4; ++i) indices[i] = i;
    vector4_array_add_box(positions, x, y, w, h);
    texcoords[0] = {0.0f, 0.0f, 0.0f, 0.0f};
    texcoords[1] = {u, 0.0f, 0.0f, 0.0f};
    texcoords[2] = {u, v, 0.0f, 0.0f};
    texcoords[3] = {0.0f, v, 0.0f, 0.0f};
  }
  geometry_commit(g);
}

// ==== [SECTION] Passes
void vfx_material_make(material* m) {
  material_make(m);
  material_commit_with(m, fading_flags, fading_argb);
}

void vfx_seed_pass(display_frame* frame) {
  display_frame* mix = framebuffer_addf(&feedback[0], frame);
  display_device* device = nullptr;
  display_frame_define(mix, &device);
  seed();
  display_frame_commit(mix);
}

void vfx_layer_pass(display_frame* frame, material* m, int32_t layer) {
  if (uint32_t(layer) >= uint32_t(VFX_LAYERS)) return;
  display_frame* target = framebuffer_addf(&feedback[layer + 1], frame);
  display_device* device = nullptr;
  display_frame_define(target, &device);
  material_on(m);
  layer_transform t = vfx_layer_transform(layer);
  if (t.trigger) {
    seed();
  } else {
    private_layer_feedback(target, layer, t);
    private_layer_sources(target, layer);
  }
  material_off(m);
  display_frame_commit(target);
}

// The enabled layers over each other; with none enabled the mix keeps its previous image.
void vfx_mix_pass(display_frame* frame, material* m) {
  display_frame* mix = framebuffer_addf(&feedback[0], frame);
  display_device* device = nullptr;
  display_frame_define(mix, &device);
  material_on(m);
  private_open_identity();
  int32_t clear = 1;
  for (int32_t i = 0; i < VFX_LAYERS; ++i) {
    if (!modmatrix[i][i].on) continue;
    rdq(mix, clear, i + 1);
    clear = 0;
  }
  private_close_identity();
  material_off(m);
  display_frame_commit(mix);
}

void vfx_screen_pass(display_frame* frame, material* m) {
  material_on(m);
  glScalef(screen_enlargement, screen_enlargement, 1.0f);
  rdq(frame, 1, 0);
  material_off(m);
}

// ==== [SECTION] Life cycle and the frame
void vfx_attach(display_device* device) {
  pixel_size size{0, 0};
  display_device_resolution_in_px(device, &size);
  vfx_attach_sized(device, size);
}

void vfx_attach_sized(display_device* device, pixel_size size) {
  if (state.attached) vfx_detach();
  for (framebuffer& fb : feedback) framebuffer_make_sized(&fb, device, size);
  modmatrix_make();
  state.attached = 1;
}

void vfx_detach() {
  if (!state.attached) return;
  for (framebuffer& fb : feedback) framebuffer_destroy(&fb);
  if (state.previous_image.alive) texture_delete(&state.previous_image);
  state.attached = 0;
}

int vfx_attached_p() { return state.attached; }

void vfx_do(display_frame* frame) {
  if (!state.attached) return;
  material m;
  vfx_material_make(&m);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  if (!state.seeded) vfx_seed_pass(frame);
  for (int32_t layer = 0; layer < VFX_LAYERS; ++layer) vfx_layer_pass(frame, &m, layer);
  vfx_mix_pass(frame, &m);
  vfx_screen_pass(frame, &m);
  state.seeded = 1;
  material_delete(&m);
  glPopMatrix();
}
