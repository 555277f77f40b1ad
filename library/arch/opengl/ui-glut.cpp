// The ui context: containers and identifiers, hot/active state, GLUT mouse callbacks, units and clip areas.
#include "library/arch/opengl/ui-glut.hpp"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pure/numbers.hpp"
#include "pure/visuals/fonts.hpp"

struct ui_private {
  display_frame* frame;
  hid hot;
  hid active;
  container_array containers;
  int_array container_stack;
  int32_t current;
  cliparea_array clipareas;
  float dpi;
  int32_t font_height_px[5];
  float f0;
  int32_t i0;
  // Pass balance: ends of layouts or clip areas without a matching begin, and whether the fault was told.
  int32_t underflows;
  int32_t unbalanced;
  int32_t reported;
};

int32_t mouse_state = 1;
int32_t mouse_previous_state = 1;
xy_i mouse_action_origin_xy = {0, 0};
float mouse_action_distance = 0.0f;
xy_i mouse_xy = {0, 0};

// ==== Context life cycle and passes

void ui_make(ui* u) {
  ui_private* p = static_cast<ui_private*>(std::calloc(1, sizeof(ui_private)));
  u->p = p;
  if (!p) return;
  container root = {0, hid_make1(0), 0, nullptr, nullptr, {-1.0f, 1.0f}};
  array_push(p->containers, root);
  p->current = 0;
  p->hot = NULL_HID;
  p->active = NULL_HID;
  p->dpi = 72.0f;
  for (int32_t i = 0; i < 5; ++i) p->font_height_px[i] = font_height_for_dpi_and_distance(i - 2, 72.0f, 650.0f);
}

void ui_destroy(ui* u) {
  if (!u->p) return;
  array_reset(u->p->containers);
  array_reset(u->p->container_stack);
  array_reset(u->p->clipareas);
  std::free(u->p);
  u->p = nullptr;
}

void ui_attach(ui*, display_device*) {
  glutMouseFunc(inMouseAction);
  glutMotionFunc(inMouseMotion);
  glutPassiveMotionFunc(inMouseMotion);
}

void ui_detach(ui*, display_device*) {
  glutMouseFunc(nullptr);
  glutMotionFunc(nullptr);
  glutPassiveMotionFunc(nullptr);
}

namespace {

// Containers left open keep pointers to layout records of a pass that is over; they must not receive boxes.
void private_ui_close_open_containers(ui_private* p) {
  int32_t n = array_length(p->container_stack);
  for (int32_t i = 0; i < n; ++i) {
    int32_t* index = array_get(p->container_stack, i);
    container* c = index ? array_get(p->containers, *index) : nullptr;
    if (c) c->layout = nullptr, c->add = nullptr;
  }
  container* c = array_get(p->containers, p->current);
  if (c && p->current != 0) c->layout = nullptr, c->add = nullptr;
}

}  // namespace

void ui_define(ui* u, display_frame* frame) {
  ui_private* p = u->p;
  if (!p) return;
  if (array_length(p->container_stack) != 0 || p->current != 0) private_ui_close_open_containers(p);
  if (array_length(p->clipareas) != 0) cliparea_activate(nullptr);
  // A stack that failed to grow is reset so the next pass starts clean.
  if (array_length(p->container_stack) < 0) array_reset(p->container_stack);
  if (array_length(p->clipareas) < 0) array_reset(p->clipareas);
  array_trunc(p->container_stack);
  array_trunc(p->clipareas);
  p->underflows = 0;
  p->current = 0;
  p->frame = frame;
  container* root = array_get(p->containers, 0);
  if (root) {
    root->next_child = 0;
    root->anchor = {-1.0f, 1.0f};
  }
}

void ui_commit(ui* u) {
  ui_private* p = u->p;
  if (!p) return;
  int32_t layouts = array_length(p->container_stack), areas = array_length(p->clipareas);
  p->unbalanced = layouts != 0 || areas != 0 || p->underflows != 0;
  if (p->unbalanced && !p->reported) {
    std::printf("ui: unbalanced pass: %d layout(s) and %d clip area(s) left open, %d extra end(s)\n", layouts,
                areas, p->underflows);
    std::fflush(stdout);
  }
  p->reported = p->unbalanced;
  p->frame = nullptr;
}

display_frame* ui_frame(ui* u) { return u->p ? u->p->frame : nullptr; }

int ui_unbalanced_p(ui* u) { return u->p ? u->p->unbalanced : 0; }

// ==== Containers and identifiers

namespace {

container* private_ui_find(ui_private* p, hid id) {
  int32_t n = array_length(p->containers);
  for (int32_t i = 0; i < n; ++i) {
    container* c = array_get(p->containers, i);
    if (hid_equals(c->id, id)) return c;
  }
  return nullptr;
}

container* private_ui_current(ui* u) { return u->p ? array_get(u->p->containers, u->p->current) : nullptr; }

}  // namespace

void ui_layout_begin(ui* u, hid id, void* layout, ui_add_fn add) {
  ui_private* p = u->p;
  if (!p) return;
  container* outer = array_get(p->containers, p->current);
  xy anchor = outer ? outer->anchor : xy{-1.0f, 1.0f};
  container* c = private_ui_find(p, id);
  if (!c) {
    int32_t n = array_length(p->containers);
    c = n < 0 ? nullptr : array_allocate(p->containers, n);
    if (!c) return;  // no memory: children keep landing in the enclosing container
    *c = {n, id, 0, nullptr, nullptr, {0.0f, 0.0f}};
  }
  if (!container_push(&p->container_stack, p->current)) return;
  c->next_child = 0;
  c->layout = layout;
  c->add = add;
  c->anchor = anchor;
  p->current = c->index;
}

void ui_layout_end(ui* u) {
  ui_private* p = u->p;
  if (!p) return;
  container* c = array_get(p->containers, p->current);
  int32_t outer = 0;
  if (!container_pop(&p->container_stack, &outer)) {
    p->underflows += 1;  // an end without a begin: stay at the root, the commit reports it
    return;
  }
  if (c) c->layout = nullptr, c->add = nullptr;
  p->current = outer;
}

void ui_add(ui* u, hid id, lrtb* box) {
  container* c = private_ui_current(u);
  if (c && c->add) c->add(u, id, box, c->layout);
}

void ui_anchor(ui* u, xy* out) {
  container* c = private_ui_current(u);
  *out = c ? c->anchor : xy{-1.0f, 1.0f};
}

void ui_set_anchor(ui* u, const xy* anchor) {
  container* c = private_ui_current(u);
  if (c) c->anchor = *anchor;
}

hid ui_id(ui* u) {
  container* c = private_ui_current(u);
  return c ? ui_make_id(u, c->id) : NULL_HID;
}

hid ui_make_id(ui* u, hid parent) {
  container* c = u->p ? private_ui_find(u->p, parent) : nullptr;
  if (!c) return NULL_HID;
  int32_t k = c->next_child;
  c->next_child += 1;
  return hid_concat(parent, hid_make1(k));
}

// ==== Interaction state

int ui_is_hot(ui* u, hid id) { return hid_equals(u->p->hot, id); }
int ui_is_active(ui* u, hid id) { return hid_equals(u->p->active, id); }
int ui_is_none_active(ui* u) { return hid_equals(u->p->active, NULL_HID); }
void ui_activate(ui* u, hid id) { u->p->active = id; }
void ui_deactivate(ui* u) { u->p->active = NULL_HID; }

void ui_highlight(ui* u, hid id) {
  if (ui_is_none_active(u) || ui_is_active(u, id)) u->p->hot = id;
}

void ui_away(ui* u, hid id) {
  if (ui_is_hot(u, id)) u->p->hot = NULL_HID;
}

float ui_reg_f0(ui* u) { return u->p->f0; }
void ui_reg_set_f0(ui* u, float v) { u->p->f0 = v; }
int32_t ui_reg_i0(ui* u) { return u->p->i0; }
void ui_reg_set_i0(ui* u, int32_t v) { u->p->i0 = v; }

// ==== Mouse

void inMouseAction(int, int state, int x, int y) {
  mouse_previous_state = mouse_state;
  mouse_state = state;
  if (mouse_state != mouse_previous_state) {
    mouse_action_origin_xy = {x, y};
    mouse_action_distance = 0.0f;
  }
  mouse_xy = {x, y};
}

void inMouseMotion(int x, int y) {
  double dx = double(x) - mouse_xy.x, dy = double(y) - mouse_xy.y;
  mouse_action_distance = float(double(mouse_action_distance) + std::sqrt(dx * dx + dy * dy));
  mouse_xy = {x, y};
}

int ui_mouse_action_started() {
  if (mouse_previous_state != 1 || mouse_state != 0) return 0;
  mouse_previous_state = 0;
  return 1;
}

int ui_mouse_action_ended() {
  if (mouse_previous_state != 0 || mouse_state != 1) return 0;
  mouse_previous_state = 1;
  return 1;
}

int ui_mouse_inside(ui*, const lrtb* box) {
  xy m;
  mouseCoordinates(&m);
  return xy_inside_lrtb(&m, box);
}

void ui_mouse_action_get_motion(ui*, xy* out) {
  int64_t dx = int64_t(mouse_xy.x) - mouse_action_origin_xy.x, dy = int64_t(mouse_action_origin_xy.y) - mouse_xy.y;
  in_viewport_length(out, {trunc_to_i32(double(dx)), trunc_to_i32(double(dy))});
}

float ui_mouse_action_aggregate_distance(ui*) {
  int32_t d = trunc_to_i32(double(mouse_action_distance));
  xy out;
  in_viewport_length(&out, {d, d});
  return out.x;
}

// ==== Geometry and units

int xy_inside_lrtb(const xy* p, const lrtb* box) {
  return box->l <= p->x && p->x <= box->r && box->b <= p->y && p->y <= box->t;
}

float lrtb_width(const lrtb* box) { return std::fabs(box->r - box->l); }
float lrtb_height(const lrtb* box) { return std::fabs(box->t - box->b); }

void get_viewport(lrtb* out) {
  GLint v[4] = {0, 0, 0, 0};
  glGetIntegerv(GL_VIEWPORT, v);
  *out = {float(v[0]), float(v[0]) + float(v[2]), float(v[1]), float(v[1]) + float(v[3])};
}

void in_viewport(xy* out, xy_i pixel) {
  lrtb v;
  get_viewport(&v);
  out->x = 2.0f * (float(pixel.x) - v.l) / (v.r - v.l) - 1.0f;
  out->y = 1.0f - 2.0f * (float(pixel.y) - v.t) / (v.b - v.t);
}

void in_pixels(xy_i* out, const xy* p) {
  lrtb v;
  get_viewport(&v);
  out->x = trunc_to_i32((double(p->x) + 1.0) * double(lrtb_width(&v)) * 0.5);
  out->y = trunc_to_i32((double(p->y) + 1.0) * double(lrtb_height(&v)) * 0.5);
}

void in_viewport_length(xy* out, xy_i pixels) {
  lrtb v;
  get_viewport(&v);
  out->x = 2.0f * float(pixels.x) / lrtb_width(&v);
  out->y = 2.0f * float(pixels.y) / lrtb_height(&v);
}

void ui_pixels_into_coordinates(ui*, xy* out, xy_i pixels) { in_viewport_length(out, pixels); }

void mouseCoordinates(xy* out) { in_viewport(out, mouse_xy); }

// ==== Fonts and periods

int32_t ui_font_height_in_pixels(ui* u, int32_t i) { return u->p->font_height_px[i]; }

float ui_font_height(ui* u, int32_t i) {
  lrtb v;
  get_viewport(&v);
  return 2.0f * float(u->p->font_height_px[i]) / lrtb_height(&v);
}

float ui_vertical_period(ui* u) { return ui_font_height(u, 2); }

float ui_horizontal_period(ui* u) {
  lrtb v;
  get_viewport(&v);
  return ui_vertical_period(u) * (lrtb_height(&v) / lrtb_width(&v)) * 0.75f;
}

// ==== Clip areas

void cliparea_make(cliparea* out, const lrtb* box) {
  xy lt = {box->l, box->t}, rb = {box->r, box->b};
  xy_i a, b;
  in_pixels(&a, &lt);
  in_pixels(&b, &rb);
  *out = {a.x, b.y, trunc_to_i32(double(b.x) - a.x), trunc_to_i32(double(a.y) - b.y)};
}

// glScissor rejects a negative size with GL_INVALID_VALUE and keeps the old box; an empty box cuts everything.
void cliparea_activate(const cliparea* area) {
  if (!area) {
    glDisable(GL_SCISSOR_TEST);
    return;
  }
  glScissor(area->x, area->y, area->width < 0 ? 0 : area->width, area->height < 0 ? 0 : area->height);
  glEnable(GL_SCISSOR_TEST);
}

void ui_cliparea_begin(ui* u, const lrtb* box) {
  cliparea area;
  cliparea_make(&area, box);
  cliparea_activate(&area);
  if (u->p) cliparea_push(&u->p->clipareas, &area);
}

void ui_cliparea_end(ui* u) {
  if (!u->p) return;
  if (!cliparea_pop(&u->p->clipareas)) u->p->underflows += 1;
  cliparea_activate(cliparea_top(&u->p->clipareas));
}

int cliparea_push(cliparea_array* stack, const cliparea* area) { return array_push(*stack, *area) != nullptr; }

int cliparea_pop(cliparea_array* stack) {
  int32_t n = array_length(*stack);
  if (n <= 0) return 0;
  array_truncate(*stack, n - 1);
  return 1;
}

cliparea* cliparea_top(cliparea_array* stack) { return array_get(*stack, array_length(*stack) - 1); }

int container_push(int_array* stack, int32_t index) { return array_push(*stack, index) != nullptr; }

int container_pop(int_array* stack, int32_t* out) {
  int32_t n = array_length(*stack);
  int32_t* top = n > 0 ? array_get(*stack, n - 1) : nullptr;
  if (!top) return 0;
  *out = *top;
  array_truncate(*stack, n - 1);
  return 1;
}
