// The instrument panel: the editing page, the grid's slot row with playlist recording, and the replay.
#pragma once
#include <cstdint>

#include "apps/experiments/layout.hpp"
#include "apps/kelvarin/monome.hpp"
#include "apps/kelvarin/playlist.hpp"
#include "apps/brightloom/stream.hpp"
#include "library/arch/opengl/ui-glut.hpp"

struct display_frame;
struct display_device;

// The panel record. Its first member is the interface context, so a panel is also a ui. The signal
// history the audio thread feeds lives beside it in `oui_history` (apps/kelvarin/panel_history.hpp).
// The layouts keep their scroll offsets from frame to frame; one record serves every row at its place
// in the page (all eight oscillators' rows, all four layers' rows, both rows of slot buttons).
struct kelvarin_ui {
  ::ui ui;
  monome grid;          // "/box": row 0 selects slots, row 1 column 0 ends a recording
  int32_t saving;       // the slot section's "saving?" switch: the next slot press saves
  const char* message;  // the slot section's last message, none at start
  ui_layout outer, title_row, input_row, osc_stack, osc_row, mod_row, layer_row;
  ui_layout slot_stack, slot_row, preset_row;
};

extern struct kelvarin_ui oui;
extern int32_t current_slot;  // the slot loaded (or saved) last
extern event_array synchro;   // the playlist: read at start, appended by the grid, replayed
extern int32_t pos;           // next playlist event to replay
extern int32_t visuals_p;     // the visuals preview is shown on the page

// Grid cells with a meaning on the panel.
constexpr int32_t GRID_SLOT_ROW = 0;  // columns 0..7 load slots 0..7
constexpr int32_t GRID_END_ROW = 1;   // column 0 ends a recording and saves the playlist
constexpr int32_t GRID_END_COLUMN = 0;

::ui* kelvarin_ui_as_ui(struct kelvarin_ui* panel);  // the same address, as its interface context
// The context, the grid record ("/box", which starts the OSC server), the playlist from
// "virtual://root/playlist", saving off. The history is made by oui_attach once this is done.
void kelvarin_ui_make(struct kelvarin_ui* panel);
// Draws the page and applies every edit to the front synthesizer record and the visuals' matrices.
void kelvarin_ui(struct kelvarin_ui* panel, display_frame* frame);
// The slot LEDs, slot presses (recorded, then loaded) and the end button; commits the grid. `time` is the
// frame's display time in milliseconds.
void kelvarin_ui_grid_step(struct kelvarin_ui* panel, float time);

// Display thread. The first attach makes the panel and then lets the audio thread feed the history;
// every attach installs the mouse callbacks of the new window.
void oui_attach(display_device* display);
void oui_do(display_frame* frame);  // one page: define, draw and edit, commit
// Performance mode: replays at most one due playlist event per frame; the end event quits the program
// as the quit key does (status 0).
void oui_do_timeline(display_frame* frame);
const char* oui_load(stream* s);  // a slot file from a stream; the slot section's message
// Loads slot 0..7 (any other number is ignored) and makes it the current slot, also when the file is
// missing or damaged. The file is only read: a missing slot is not created.
void oui_load_slot(int32_t slot);
