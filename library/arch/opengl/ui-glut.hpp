// Immediate-mode interface core: the ui context, element identifiers, containers, mouse input, units, clip areas.
#pragma once
#include <cstdint>

#include "pure/hid.hpp"
#include "toolset/array.hpp"

struct display_frame;
struct display_device;

// Positions and lengths in normalised device coordinates of the current viewport (y up).
struct xy {
  float x, y;
};
// Pixel positions and lengths.
struct xy_i {
  int32_t x, y;
};
// A box: left, right, top, bottom; well formed when l <= r and b <= t.
struct lrtb {
  float l, r, t, b;
};
// A scissor rectangle in pixels, origin at the viewport's lower-left corner, as glScissor takes it.
struct cliparea {
  int32_t x, y, width, height;
};

struct ui_private;
// The handle; a record that starts with a ui can be passed wherever a ui is expected.
struct ui {
  ui_private* p;
};

// A layout's add callback: receives every box placed in its container.
using ui_add_fn = void (*)(ui* u, hid id, lrtb* box, void* layout);

struct container {
  int32_t index;
  hid id;
  int32_t next_child;
  void* layout;
  ui_add_fn add;
  xy anchor;
};

using container_array = typed_array<container>;
using cliparea_array = typed_array<cliparea>;

// ==== Context life cycle and passes
void ui_make(ui* u);
void ui_destroy(ui* u);
void ui_attach(ui* u, display_device* display);  // installs the GLUT mouse callbacks
void ui_detach(ui* u, display_device* display);
// A pass left unbalanced (a layout or clip area still open at ui_commit) is reported once and repaired
// by the next ui_define, which also closes what was left open.
void ui_define(ui* u, display_frame* frame);
void ui_commit(ui* u);
display_frame* ui_frame(ui* u);
int ui_unbalanced_p(ui* u);  // 1 when the last committed pass left a layout or clip area open

// ==== Containers and identifiers
void ui_layout_begin(ui* u, hid id, void* layout, ui_add_fn add);
void ui_layout_end(ui* u);
void ui_add(ui* u, hid id, lrtb* box);
void ui_anchor(ui* u, xy* out);
void ui_set_anchor(ui* u, const xy* anchor);
hid ui_id(ui* u);
hid ui_make_id(ui* u, hid parent);

// ==== Interaction state
int ui_is_hot(ui* u, hid id);
int ui_is_active(ui* u, hid id);
int ui_is_none_active(ui* u);
void ui_activate(ui* u, hid id);
void ui_deactivate(ui* u);
void ui_highlight(ui* u, hid id);
void ui_away(ui* u, hid id);
float ui_reg_f0(ui* u);
void ui_reg_set_f0(ui* u, float v);
int32_t ui_reg_i0(ui* u);
void ui_reg_set_i0(ui* u, int32_t v);

// ==== Mouse: one mouse feeds every ui. States are GLUT's: 0 down, 1 up.
extern int32_t mouse_state;
extern int32_t mouse_previous_state;
extern xy_i mouse_action_origin_xy;
extern float mouse_action_distance;
extern xy_i mouse_xy;  // window pixels, origin top-left, y downwards

void inMouseAction(int button, int state, int x, int y);
void inMouseMotion(int x, int y);
// Each edge is reported once: the first caller after a press (release) consumes it.
int ui_mouse_action_started();
int ui_mouse_action_ended();
int ui_mouse_inside(ui* u, const lrtb* box);
void ui_mouse_action_get_motion(ui* u, xy* out);  // from the press point, upward positive
float ui_mouse_action_aggregate_distance(ui* u);  // path travelled since the last button change, in x units

// ==== Geometry and units
int xy_inside_lrtb(const xy* p, const lrtb* box);
float lrtb_width(const lrtb* box);
float lrtb_height(const lrtb* box);
void get_viewport(lrtb* out);  // window pixels: l = x, r = x + w, t = y, b = y + h
void in_viewport(xy* out, xy_i pixel);
void in_pixels(xy_i* out, const xy* p);
void in_viewport_length(xy* out, xy_i pixels);
void ui_pixels_into_coordinates(ui* u, xy* out, xy_i pixels);
void mouseCoordinates(xy* out);

// ==== Fonts and periods
int32_t ui_font_height_in_pixels(ui* u, int32_t i);  // i in 0..4 for levels -2..+2
float ui_font_height(ui* u, int32_t i);
float ui_vertical_period(ui* u);
float ui_horizontal_period(ui* u);

// ==== Clip areas: nested areas replace each other, they are not intersected
void cliparea_make(cliparea* out, const lrtb* box);
void cliparea_activate(const cliparea* area);  // none disables scissoring
void ui_cliparea_begin(ui* u, const lrtb* box);
void ui_cliparea_end(ui* u);
int cliparea_push(cliparea_array* stack, const cliparea* area);
int cliparea_pop(cliparea_array* stack);
cliparea* cliparea_top(cliparea_array* stack);
int container_push(int_array* stack, int32_t index);
int container_pop(int_array* stack, int32_t* out);
