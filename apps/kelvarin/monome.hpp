// The grid controller link: an 8 x 8 button grid with LEDs, spoken to in OSC over UDP on the local host.
#pragma once
#include <lo/lo.h>

#include <cstdint>

#include "apps/kelvarin/serialosc.hpp"
#include "toolset/array.hpp"

// Ports and sizes of the link. Presses arrive on UDP port 7770 (one server for the whole process);
// LED states go to port 8880 on the local host.
inline constexpr const char* monome_server_port = "7770";
inline constexpr const char* monome_led_port = "8880";
inline constexpr int32_t monome_side = 8;
inline constexpr int32_t monome_cells = monome_side * monome_side;  // cell index = row * 8 + column

// One half of the double buffer: what was pressed during a frame and the LEDs wanted in it.
struct monome_half {
  int32_t press[monome_cells];  // sum of the press states that arrived
  int32_t down[monome_cells];   // minus that sum: negative when the button went down
  int32_t led[monome_cells];    // LED values as the panel set them; any non-zero value lights the LED
};

// The grid record. The panel thread owns it; the OSC server thread only adds presses to the back half.
//
// How a press crosses threads without a lock. `front` is one word: bit 0 is the front index, and the
// bits above count the press handlers currently writing (two per handler). A handler enters with one
// fetch_add of 2, which tells it the front index at the very moment it enters; it adds the press to
// both totals of the other half and leaves with a fetch_sub of 2. The panel swaps with a single
// compare-exchange that expects "front index, nobody writing", so the front index can never change
// while a handler is inside: a press always lands wholly in the half that is the back half for the
// whole time it is written, and it is never added to a half the panel is reading or zeroing. When a
// handler is inside at the moment of the commit the swap is put off to the next commit: the front half
// is still zeroed (its presses were seen), the LEDs just sent are copied into it, and the back half
// keeps collecting, so the press in flight shows one frame later. Nobody ever waits for anybody.
// The acquire/release on `front` also carries the cell words: what a handler wrote before leaving is
// visible to the panel after its swap, and the zeroing of the old front half is visible to every
// handler that enters after it. The press and down words are read and written through atomic_ref;
// the LED grids and the address belong to the panel thread alone.
struct monome {
  byte_array prefix;          // OSC address prefix, NUL-terminated ("/box" for the panel)
  monome_half halves[2];
  int32_t front = 0;          // bit 0: the front half; bits 1..31: press handlers inside, times two
  lo_address address = nullptr;  // local host, port 8880; null when it could not be made
  serialosc_grid grid;           // a grid claimed through serialosc, which gets the LEDs as well
};

// Copies the prefix, makes the LED address, starts the process-wide OSC server on the first call,
// routes prefix "/press" (and "/grid/key", a grid's own name for it) and "/tilt" to this record and
// switches every LED off. The first record made once the server runs also asks serialosc for a grid
// to claim with its prefix. Returns 1 when the record can send LEDs, 0 otherwise. When port 7770 is
// taken the record still sends LEDs but gets no presses; that is said once on standard output. One
// record per prefix at a time.
int monome_make(monome* m, const char* prefix);
void monome_define(monome* m);  // start of a panel frame; nothing to do
void monome_set_led(monome* m, int32_t row, int32_t column, int32_t value);
// The front half's down total of the cell: non-zero (negative) when a press arrived during the
// previous frame. Cells outside the grid report 0.
int32_t monome_button_down(const monome* m, int32_t row, int32_t column);
// Ends a panel frame: sends the LEDs that changed since the last commit (as "/led" to port 8880 and,
// to a grid claimed through serialosc, as "/grid/led/set"; a newly claimed grid gets every LED),
// forgets the presses of the frame that ends and brings the presses collected meanwhile to the front.
void monome_commit(monome* m);
void monome_clear(monome* m);  // every LED off on the controller and in both halves
void monome_send(monome* m, const char* suffix, int32_t x, int32_t y, int32_t state);
// Stops routing presses to the record (waiting for a handler that is writing to it) and releases
// the prefix and the address. The server keeps running for the next record.
void monome_delete(monome* m);

// The press handler's work once the message is known to be a press: adds a press (any non-zero
// state) or a release to cell y * 8 + x of the back half. Returns 0 and changes nothing when x or y
// lies outside 0..7. Safe to call from one thread while the panel runs frames on another.
int monome_accept_press(monome* m, int32_t x, int32_t y, int32_t state);
