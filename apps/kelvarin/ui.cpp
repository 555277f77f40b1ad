// The instrument panel's life: making it on the first attach, one page per frame, the grid's slot row
// with playlist recording, slot loading and the replay of a recorded performance.
#include "apps/kelvarin/ui.hpp"

#include <cstdio>

#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/presets.hpp"
#include "library/arch/opengl/display-glut.hpp"
#include "library/arch/opengl/frame.hpp"

struct kelvarin_ui oui{};
int32_t current_slot = 0;
event_array synchro{};
int32_t pos = 0;
int32_t visuals_p = 0;

namespace {

// Recording must not stop a performance: when the list cannot grow the press is still played.
void private_record(int32_t kind, float time, int32_t slot) {
  int32_t n = event_array_length(&synchro);
  playlist_event* e = n < 0 ? nullptr : event_array_allocate(&synchro, n);
  if (!e) {
    std::puts("cannot allocate event.");
    return;
  }
  *e = playlist_event{kind, time, slot};
}

void private_end_recording(float time) {
  private_record(PLAYLIST_END, time, 0);
  if (!playlist_write(&synchro)) std::puts("cannot write the playlist.");
}

}  // namespace

::ui* kelvarin_ui_as_ui(struct kelvarin_ui* panel) { return &panel->ui; }

void kelvarin_ui_make(struct kelvarin_ui* panel) {
  ui_make(&panel->ui);
  monome_make(&panel->grid, "/box");
  event_array_make_null(&synchro);
  playlist_read(&synchro);
  panel->saving = 0;
  panel->message = nullptr;
}

void oui_attach(display_device* display) {
  static int made = 0;
  if (!made) {
    kelvarin_ui_make(&oui);
    oui_history_begin();  // the record is complete: samples may flow from now on
    made = 1;
  }
  ui_attach(&oui.ui, display);
}

void oui_do(display_frame* frame) {
  ui_define(&oui.ui, frame);
  kelvarin_ui(&oui, frame);
  ui_commit(&oui.ui);
}

void kelvarin_ui_grid_step(struct kelvarin_ui* panel, float time) {
  monome* grid = &panel->grid;
  monome_define(grid);
  for (int32_t s = 0; s < 8; ++s) {
    monome_set_led(grid, GRID_SLOT_ROW, s, current_slot == s ? 1 : 0);
    if (!monome_button_down(grid, GRID_SLOT_ROW, s)) continue;
    private_record(PLAYLIST_LOAD_SLOT, time, s);
    oui_load_slot(s);
  }
  if (monome_button_down(grid, GRID_END_ROW, GRID_END_COLUMN)) private_end_recording(time);
  monome_commit(grid);
}

void oui_do_timeline(display_frame* frame) {
  float t = float(display_frame_in_ms(frame));
  const playlist_event* e = event_array_get(&synchro, pos);
  if (!e || !(t > e->time)) return;
  pos += 1;
  if (e->kind == PLAYLIST_END) my_exit();  // as the quit key: "quit" in the log, status 0
  if (e->kind == PLAYLIST_LOAD_SLOT) oui_load_slot(e->slot);
}

const char* oui_load(stream* s) { return load(s); }

void oui_load_slot(int32_t slot) {
  if (slot < 0 || slot >= SLOTS) return;
  byte_array path{};
  if (slot_filename(&path, slot)) {
    stream s;
    stream_make_on_file(&s, STREAM_READ, array_data(path));
    oui_load(&s);  // a missing or damaged slot leaves the sound as it is; the slot still becomes current
    stream_delete(&s);
  }
  array_reset(path);
  current_slot = slot;
}
