// Widgets of the immediate-mode interface: boxes, arcs, labels, buttons, knobs, a scroll bar, a statistics plot.
#pragma once
#include <cstdarg>
#include <cstdint>

#include "library/arch/opengl/ui-glut.hpp"

struct image;

// Colours are red, green, blue, alpha unless a function says otherwise.

// ==== Primitives
void draw_lrtb_box(const lrtb* box, const float colour[4], int filled);
// A ring segment around centre from angle start to end, radians clockwise from twelve o'clock.
void draw_arc(const xy* centre, const float colour[4], float radius, float width, float start, float end);
void private_drawArc(int fade, float radius, float width, float start, float end);
float private_estimateSmoothArcAngleIncrementInDegrees(float radius);  // the step in radians
void ui_pos(ui* u, xy* out, const xy* position);  // the position, or the current anchor when none
void ui_background(ui* u, const float argb[4]);  // alpha, red, green, blue
void light_color(float out[4]);

// ==== Widgets: each draws, handles the mouse, reports its box with ui_add and returns its new value.
// Positions are top-left corners; none places the widget at the anchor.
void ui_label(ui* u, const xy* position, const char* format, ...) __attribute__((format(printf, 3, 4)));
void ui_label_va(ui* u, const xy* position, const char* format, va_list arguments);
void* ui_label_font(int32_t pixels);  // the GLUT bitmap font labels use for a font height
// The box is as wide as the format (one font height per byte), not as the formatted text.
int ui_button(ui* u, hid id, const xy* position, const image* picture, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
int ui_button_va(ui* u, hid id, const xy* position, const image* picture, const char* format, va_list arguments);
// A press inside followed by a release while still hot: 1 in the frame of the release.
int ui_button_logic(ui* u, hid id, const lrtb* box);
// A drag from the press point: the value moves by (max - min) * sensitivity * upward motion, after a dead zone.
float ui_fader_logic(ui* u, hid id, const lrtb* box, float value, float min, float max, float sensitivity);
float ui_knob(ui* u, hid id, const xy* position, float value, float min, float max, const char* format, ...)
    __attribute__((format(printf, 7, 8)));
float ui_knob_va(ui* u, hid id, const xy* position, float value, float min, float max, const char* format,
                 va_list arguments);
void ui_knob_extents(ui* u, xy* size, float* radius);
// offset, page and content are y lengths; returns the new offset, within 0 and content - page.
float ui_vertical_scroll(ui* u, hid id, const xy* position, float height, float offset, float page,
                         float content);
// count columns from triples (marker, low, high) of fractions of the plot's height: 3 * count floats.
void ui_stats(ui* u, const xy* position, const xy* size, const float* triples, int32_t count);
