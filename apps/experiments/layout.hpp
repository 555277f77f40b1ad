// Layouts that place widgets without coordinates: a vertical stack (clipped, scrolling) and a wrapping flow.
#pragma once
#include "library/arch/opengl/ui-glut.hpp"

// Kept by the caller from frame to frame: the scroll offset lives here.
struct ui_layout {
  hid id;
  lrtb extent;  // union of everything placed this frame, grown from the start point
  lrtb clip;    // applied as a clip area while the layout is open
  int allow_h;  // horizontal scrolling allowed; after closing, horizontal overflow found
  int allow_v;  // vertical scrolling allowed; after closing, vertical overflow found and a scroll bar drawn
  float scroll;  // vertical offset, 0 or more
  int wrap_pending;  // a flow just wrapped: boxes its last element adds away from the anchor stay with it
};

// Opens and closes in strict nesting between ui_define and ui_commit; parent is the enclosing layout or none.
void ui_layout_make(ui_layout* layout, ui* u, hid id, ui_layout* parent, ui_add_fn add);
void ui_layout_allowscroll(ui_layout* layout, int h, int v);
void ui_layout_accept(ui_layout* layout, const lrtb* box);
void ui_layout_clip(ui_layout* layout);
void ui_layout_destroy(ui_layout* layout, ui* u);
void ui_stack_make(ui_layout* layout, ui* u, hid id, ui_layout* parent);
void ui_flow_make(ui_layout* layout, ui* u, hid id, ui_layout* parent);
void ui_flow_destroy(ui_layout* layout, ui* u);  // closes either kind
void ui_stack_layout_add_cb(ui* u, hid id, lrtb* box, void* layout);
void ui_flow_layout_add_cb(ui* u, hid id, lrtb* box, void* layout);
void private_do_margin(ui* u);  // moves the anchor by (+0.25 hp, -0.25 vp)
