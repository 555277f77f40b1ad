// Widgets drawn with fixed-function OpenGL and GLUT bitmap fonts in the device coordinates of the viewport.
#include "apps/experiments/widgets.hpp"

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library/arch/opengl/material.hpp"
#include "library/arch/opengl/sprite.hpp"
#include "library/visuals/geometry.hpp"
#include "pure/math.hpp"
#include "pure/numbers.hpp"
#include "toolset/visuals/image.hpp"

namespace {

constexpr double pi = 3.14159265358979323846;

struct label_font {
  void* font;
  int32_t height;
  int32_t descent;
};

// Heights and descents in pixels of the GLUT bitmap fonts.
const label_font font_table[5] = {
    {GLUT_BITMAP_9_BY_15, 15, 3},     {GLUT_BITMAP_8_BY_13, 13, 2},     {GLUT_BITMAP_HELVETICA_10, 10, 2},
    {GLUT_BITMAP_HELVETICA_12, 12, 3}, {GLUT_BITMAP_HELVETICA_18, 18, 4},
};

const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};

xy private_pixels(ui* u, int32_t x, int32_t y) {
  xy out;
  ui_pixels_into_coordinates(u, &out, {x, y});
  return out;
}

}  // namespace

// ==== Primitives

void draw_lrtb_box(const lrtb* box, const float colour[4], int filled) {
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glColor4fv(colour);
  glBegin(filled ? GL_QUADS : GL_LINE_STRIP);
  glVertex2f(box->l, box->t);
  glVertex2f(box->l, box->b);
  glVertex2f(box->r, box->b);
  glVertex2f(box->r, box->t);
  if (!filled) glVertex2f(box->l, box->t);
  glEnd();
}

float private_estimateSmoothArcAngleIncrementInDegrees(float radius) {
  float r = radius > 0.001f ? radius : 0.001f;  // also catches NaN
  return float((1.0 / std::sqrt(double(r))) * pi / 180.0);
}

namespace {

void private_arc_vertex(double angle, double distance, float alpha, const float rgb[4]) {
  glColor4f(rgb[0], rgb[1], rgb[2], alpha);
  glVertex2d(distance * std::cos(pi / 2 - angle), distance * std::sin(pi / 2 - angle));
}

}  // namespace

// The number of quads is fixed before the loop, so a huge start angle cannot stall it, and more than a full
// turn is drawn as one full turn.
void private_drawArc(int fade, float radius, float width, float start, float end) {
  double step = private_estimateSmoothArcAngleIncrementInDegrees(radius);
  float current[4];
  glGetFloatv(GL_CURRENT_COLOR, current);
  glBegin(GL_QUADS);
  if (std::isfinite(start) && std::isfinite(end) && start < end) {
    double inner = double(radius) - double(width) / 2, outer = double(radius) + double(width) / 2;
    double s = start, e = std::fmin(double(end), s + 2 * pi);
    auto alpha = [&](double a) { return fade ? float((a - s) / (e - s)) : 1.0f; };
    int64_t quads = int64_t(std::ceil((e - s) / step));
    for (int64_t i = 0; i < quads; ++i) {
      double a = s + double(i) * step, a1 = std::fmin(e, a + step);
      private_arc_vertex(a, inner, alpha(a), current);
      private_arc_vertex(a, outer, alpha(a), current);
      private_arc_vertex(a1, outer, alpha(a1), current);
      private_arc_vertex(a1, inner, alpha(a1), current);
    }
  }
  glEnd();
}

void draw_arc(const xy* centre, const float colour[4], float radius, float width, float start, float end) {
  glPushMatrix();
  glTranslatef(centre->x, centre->y, 0.0f);
  glColor4fv(colour);
  private_drawArc(0, radius, width, start, end);
  glPopMatrix();
}

void ui_pos(ui* u, xy* out, const xy* position) {
  if (position)
    *out = *position;
  else
    ui_anchor(u, out);
}

void ui_background(ui*, const float argb[4]) {
  glClearColor(argb[1], argb[2], argb[3], argb[0]);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void light_color(float out[4]) {
  out[0] = out[1] = out[2] = 0.84f;
  out[3] = 0.0f;
}

// ==== Label

namespace {

// The font whose height is nearest; ties go to the lower index.
const label_font* private_label_font(int32_t fpx) {
  int32_t choice = 1;
  int64_t distance = 1000;
  for (int32_t i = 0; i < 5; ++i) {
    int64_t d = std::llabs(int64_t(font_table[i].height) - fpx);
    if (d < distance) choice = i, distance = d;
  }
  return &font_table[choice];
}

}  // namespace

void* ui_label_font(int32_t pixels) { return private_label_font(pixels)->font; }

void ui_label(ui* u, const xy* position, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  ui_label_va(u, position, format, arguments);
  va_end(arguments);
}

void ui_label_va(ui* u, const xy* position, const char* format, va_list arguments) {
  const label_font* f = private_label_font(ui_font_height_in_pixels(u, 2));
  float ascent = private_pixels(u, 0, f->height - f->descent).y, descent = private_pixels(u, 0, f->descent).y;
  char text[1024];
  if (std::vsnprintf(text, 1023, format, arguments) < 0) text[0] = 0;
  xy p;
  ui_pos(u, &p, position);
  glColor3f(0.0f, 0.0f, 0.0f);
  glRasterPos2f(p.x, p.y - ascent);
  float start[4] = {0, 0, 0, 0}, end[4] = {0, 0, 0, 0};
  glGetFloatv(GL_CURRENT_RASTER_POSITION, start);
  for (const char* c = text; *c; ++c) glutBitmapCharacter(f->font, static_cast<unsigned char>(*c));
  glGetFloatv(GL_CURRENT_RASTER_POSITION, end);
  xy advance = private_pixels(u, trunc_to_i32(end[0]) - trunc_to_i32(start[0]), trunc_to_i32(end[1]) - trunc_to_i32(start[1]));
  lrtb box = {p.x, p.x + advance.x, p.y, p.y - ascent - descent};
  ui_add(u, NULL_HID, &box);
}

// ==== Button

int ui_button_logic(ui* u, hid id, const lrtb* box) {
  int clicked = 0;
  if (ui_is_active(u, id) && ui_mouse_action_ended()) {
    clicked = ui_is_hot(u, id);
    ui_deactivate(u);
  }
  if (!ui_mouse_inside(u, box)) {
    ui_away(u, id);
    return clicked;
  }
  ui_highlight(u, id);
  if (ui_mouse_action_started()) ui_activate(u, id);
  return clicked;
}

int ui_button(ui* u, hid id, const xy* position, const image* picture, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  int clicked = ui_button_va(u, id, position, picture, format, arguments);
  va_end(arguments);
  return clicked;
}

namespace {

// The picture is two font heights wide with its aspect kept; none, or no width, takes no room.
xy private_button_image_size(ui* u, const image* picture) {
  int32_t extent[2] = {0, 0};
  if (picture) image_extent(picture, extent);
  if (extent[0] <= 0) return {0.0f, 0.0f};
  int64_t fpx = ui_font_height_in_pixels(u, 2);
  int64_t h = int64_t(extent[1]) * fpx * 2 / extent[0];
  return private_pixels(u, int32_t(2 * fpx), h > INT32_MAX ? INT32_MAX : int32_t(h));
}

void private_button_draw_image(const image* picture, float x, float y, xy size) {
  sprite s;
  sprite_make(&s, picture);
  vector4 position = {x, y, 0.0f, 0.0f}, extent = {size.x, size.y, 0.0f, 0.0f};
  sprite_draw(&s, &position, &extent);
  sprite_delete(&s);
}

}  // namespace

int ui_button_va(ui* u, hid id, const xy* position, const image* picture, const char* format, va_list arguments) {
  xy pad = private_pixels(u, 2, 2);
  xy picture_size = private_button_image_size(u, picture);
  float fh = ui_font_height(u, 2);
  xy p;
  ui_pos(u, &p, position);
  float n = float(std::strlen(format));
  lrtb box = {p.x, p.x + picture_size.x + n * fh + pad.x, p.y, p.y - 2 * fh + pad.y};
  int clicked = ui_button_logic(u, id, &box);
  bool hot = ui_is_hot(u, id), active = ui_is_active(u, id);
  const float pressed[4] = {0.8f, 0.82f, 0.8f, 1.0f}, over[4] = {0.92f, 0.93f, 0.92f, 1.0f};
  const float grey[4] = {0.7f, 0.7f, 0.7f, 1.0f};
  draw_lrtb_box(&box, active ? pressed : (hot ? over : white), 1);
  draw_lrtb_box(&box, hot && active ? grey : black, 0);
  ui_add(u, id, &box);
  xy text = {float(double(box.l) + 0.618 * double(fh) + double(pad.x)), box.t - 2 * pad.y};
  if (picture_size.x > 0.0f) {
    private_button_draw_image(picture, box.l + pad.x, box.t - pad.y, picture_size);
    text.x = box.l + 2 * pad.x + picture_size.x;
  }
  ui_label_va(u, &text, format, arguments);
  return clicked;
}

// ==== Fader logic and knob

float ui_fader_logic(ui* u, hid id, const lrtb* box, float value, float min, float max, float sensitivity) {
  float v = value;
  if (ui_is_active(u, id)) {
    if (ui_mouse_action_ended()) {
      ui_deactivate(u);
    } else {
      xy m;
      ui_mouse_action_get_motion(u, &m);
      float delta = (max - min) * (sensitivity * m.y);
      float d = ui_mouse_action_aggregate_distance(u);
      if (sensitivity * d > 0.05f) v = ui_reg_f0(u) + delta;  // nothing moves inside the dead zone
    }
  }
  v = clamp_f(v, min, max);
  if (ui_mouse_inside(u, box)) {
    ui_highlight(u, id);
    if (ui_mouse_action_started()) {
      ui_activate(u, id);
      ui_reg_set_f0(u, v);
    }
  } else {
    ui_away(u, id);
  }
  return v;
}

void ui_knob_extents(ui* u, xy* size, float* radius) {
  size->x = 4 * ui_horizontal_period(u);
  size->y = 2 * ui_vertical_period(u);
  *radius = 0.425f * std::fmin(size->x, size->y);
}

float ui_knob(ui* u, hid id, const xy* position, float value, float min, float max, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  float v = ui_knob_va(u, id, position, value, min, max, format, arguments);
  va_end(arguments);
  return v;
}

float ui_knob_va(ui* u, hid id, const xy* position, float value, float min, float max, const char* format,
                 va_list arguments) {
  xy size;
  float radius;
  ui_knob_extents(u, &size, &radius);
  xy p;
  ui_pos(u, &p, position);
  lrtb box = {p.x, p.x + size.x, p.y, p.y - size.y};
  xy centre = {p.x + 0.5f * size.x, p.y - 0.5f * size.y};
  float result = ui_fader_logic(u, id, &box, value, min, max, (1.0f / radius) * 0.05f);
  float n = clamp_f((value - min) / (max - min), 0.0f, 1.0f);  // the value of the previous frame
  float start = float(4 * pi / 3);
  draw_arc(&centre, black, 1.01f * radius, radius, 0.0f, float(2 * pi));
  draw_arc(&centre, white, radius, 2.0f / 3.0f * radius, start, float(double(start) + double(n) * 2 * pi));
  ui_add(u, id, &box);
  xy below = {p.x, p.y - size.y - 0.5f * ui_vertical_period(u)};
  ui_label_va(u, &below, format, arguments);
  return result;
}

// ==== Vertical scroll bar

float ui_vertical_scroll(ui* u, hid id, const xy* position, float height, float offset, float page,
                         float content) {
  xy p;
  ui_pos(u, &p, position);
  lrtb box = {p.x, p.x + ui_horizontal_period(u), p.y, p.y - height};
  float v = ui_fader_logic(u, id, &box, -offset, page - content, 0.0f, 1.0f);
  const float track[4] = {0.0f, 0.0f, 0.0f, 0.8f};
  const float thumb_idle[4] = {0.6f, 0.6f, 0.6f, 0.8f}, thumb_hot[4] = {0.4f, 0.4f, 0.4f, 0.8f};
  draw_lrtb_box(&box, track, 1);
  if (content > 0.0f) {
    lrtb thumb = {box.l, box.r, box.t - height * offset / content, box.t - height * (offset + page) / content};
    draw_lrtb_box(&thumb, ui_is_hot(u, id) ? thumb_hot : thumb_idle, 1);
  }
  ui_add(u, id, &box);
  return -v;
}

// ==== Statistics plot

namespace {

// Range bars and markers as coloured quads, relative to the plot's lower-left corner; returns vertices written.
int32_t private_stats_quads(int32_t* indices, vector4* positions, vector4* colours, const float* triples,
                            int32_t count, float w, float h, float fh) {
  float cw = w / float(count), thin = 0.25f * fh;
  vector4 light, clear = {0.0f, 0.0f, 0.0f, 0.0f};
  light_color(&light.x);
  int32_t written = 0;
  float x = 0.0f;
  for (int32_t i = 0; i < count && x < w; ++i, x += cw) {
    float marker = triples[3 * i], low = triples[3 * i + 1], high = triples[3 * i + 2];
    vector4* p = vector4_array_add_box(positions + written, x, h * low - 0.125f * fh, cw, h * (high - low) + thin);
    vector4_array_add_box(p, x, h * marker - 0.125f * fh, cw, thin);
    for (int32_t k = 0; k < 8; ++k) {
      colours[written + k] = k < 4 ? light : clear;
      indices[written + k] = written + k;
    }
    written += 8;
  }
  return written;
}

}  // namespace

void ui_stats(ui* u, const xy* position, const xy* size, const float* triples, int32_t count) {
  xy p;
  ui_pos(u, &p, position);
  lrtb box = {p.x, p.x + size->x, p.y, p.y - size->y};
  float w = lrtb_width(&box), h = lrtb_height(&box);
  if (w > 0.0f && count > 0 && count <= INT32_MAX / 8) {
    geometry g;
    geometry_make(&g, ui_frame(u));
    int32_t* indices;
    vector4 *positions, *colours;
    geometry_define(&g, GEOMETRY_PER_FRAME | GEOMETRY_QUADS, count * 8, &indices, count * 8, &positions, &colours,
                    nullptr, nullptr);
    if (g.alive && colours) {
      int32_t n = private_stats_quads(indices, positions, colours, triples, count, w, h, ui_font_height(u, 2));
      geometry_commit_with(&g, n, n);
      material m;
      material_make(&m);
      material_commit_with(&m, MATERIAL_KEEP_COLOUR | MATERIAL_NO_DEPTH, white);
      material_on(&m);
      glPushMatrix();
      glTranslatef(box.l, box.b, 0.0f);
      geometry_draw(&g, ui_frame(u));
      glPopMatrix();
      material_off(&m);
      material_delete(&m);
    }
    geometry_delete(&g);
  }
  ui_add(u, NULL_HID, &box);
}
