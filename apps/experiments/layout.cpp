// Stack and flow layouts: anchors moved by add callbacks, clipping to the parent, and a scrolling stack.
#include "apps/experiments/layout.hpp"

#include <cmath>

#include "apps/experiments/widgets.hpp"

namespace {
constexpr float gap = 0.025f;  // between elements of a stack and of a row
}

void ui_layout_make(ui_layout* layout, ui* u, hid id, ui_layout* parent, ui_add_fn add) {
  ui_layout_begin(u, id, layout, add);
  xy a;
  ui_anchor(u, &a);
  layout->allow_h = layout->allow_v = 0;
  layout->wrap_pending = 0;
  layout->id = id;
  lrtb clip = {a.x, 1.0f, a.y, -1.0f};
  if (parent) {
    clip.l = std::fmax(a.x, parent->clip.l);
    clip.t = std::fmin(a.y, parent->clip.t);
    clip.r = parent->clip.r - 2 * ui_horizontal_period(u);
    clip.b = parent->clip.b + 2 * ui_vertical_period(u);
  }
  if (clip.l > clip.r) clip.r = clip.l;
  if (clip.t < clip.b) clip.b = clip.t;
  layout->clip = clip;
  a.y += layout->scroll;  // a positive offset moves the content up
  ui_set_anchor(u, &a);
  layout->extent = {a.x, a.x, a.y, a.y};
  ui_cliparea_begin(u, &layout->clip);
}

void ui_layout_allowscroll(ui_layout* layout, int h, int v) {
  layout->allow_h = h;
  layout->allow_v = v;
}

void ui_layout_accept(ui_layout* layout, const lrtb* box) {
  lrtb& e = layout->extent;
  e.l = std::fmin(e.l, box->l);
  e.r = std::fmax(e.r, box->r);
  e.t = std::fmax(e.t, box->t);
  e.b = std::fmin(e.b, box->b);
}

void ui_layout_clip(ui_layout* layout) {
  lrtb& e = layout->extent;
  e.l = std::fmax(e.l, layout->clip.l);
  e.r = std::fmin(e.r, layout->clip.r);
  e.t = std::fmin(e.t, layout->clip.t);
  e.b = std::fmax(e.b, layout->clip.b);
}

void ui_layout_destroy(ui_layout* layout, ui* u) {
  xy a;
  ui_anchor(u, &a);
  layout->extent.r = std::fmax(layout->extent.r, a.x);
  layout->extent.b = std::fmin(layout->extent.b, a.y);
  const lrtb &clip = layout->clip, &extent = layout->extent;
  float ch = std::fabs(clip.t - clip.b), eh = std::fabs(extent.t - extent.b);
  layout->allow_h = layout->allow_h && clip.r - clip.l < extent.r - extent.l;
  layout->allow_v = layout->allow_v && ch < eh;
  ui_layout_end(u);
  if (layout->allow_h || layout->allow_v) ui_layout_clip(layout);
  ui_add(u, layout->id, &layout->extent);
  if (layout->allow_v) {
    xy at = {clip.r - ui_horizontal_period(u), clip.t};
    layout->scroll = ui_vertical_scroll(u, ui_id(u), &at, ch, layout->scroll, ch, eh);
  }
  ui_cliparea_end(u);
}

void ui_stack_make(ui_layout* layout, ui* u, hid id, ui_layout* parent) {
  ui_layout_make(layout, u, id, parent, ui_stack_layout_add_cb);
  ui_layout_allowscroll(layout, 1, 1);
}

void ui_flow_make(ui_layout* layout, ui* u, hid id, ui_layout* parent) {
  ui_layout_make(layout, u, id, parent, ui_flow_layout_add_cb);
  ui_layout_allowscroll(layout, 0, 0);
}

void ui_flow_destroy(ui_layout* layout, ui* u) { ui_layout_destroy(layout, u); }

void ui_stack_layout_add_cb(ui* u, hid, lrtb* box, void* layout) {
  xy a;
  ui_anchor(u, &a);
  if (box->b < a.y) {
    a.y = box->b - gap;
    ui_set_anchor(u, &a);
  }
  ui_layout_accept(static_cast<ui_layout*>(layout), box);
}

// The element that reaches the right edge stays in its row; the next row starts at the layout's left,
// under everything placed before that element (its own box is accepted after the anchor is taken). Boxes
// the element adds afterwards away from the anchor (its own label) belong to it: they push the new row
// down instead of moving it right, so a row never starts beside the label of the element that ended the
// previous one.
void ui_flow_layout_add_cb(ui* u, hid, lrtb* box, void* layout) {
  ui_layout* l = static_cast<ui_layout*>(layout);
  float w = box->r - box->l;
  xy a;
  ui_anchor(u, &a);
  if (l->wrap_pending && (box->l != a.x || box->t != a.y)) {
    ui_layout_accept(l, box);
    a.y = std::fmin(a.y, box->b);
    ui_set_anchor(u, &a);
    return;
  }
  l->wrap_pending = 0;
  if (box->r > a.x) a.x = box->r + gap;
  if (box->r + w >= l->clip.r - 2 * ui_horizontal_period(u)) {
    a = {l->extent.l, l->extent.b};
    l->wrap_pending = 1;
  }
  ui_set_anchor(u, &a);
  ui_layout_accept(l, box);
}

void private_do_margin(ui* u) {
  xy a;
  ui_anchor(u, &a);
  a.x += 0.25f * ui_horizontal_period(u);
  a.y -= 0.25f * ui_vertical_period(u);
  ui_set_anchor(u, &a);
}
