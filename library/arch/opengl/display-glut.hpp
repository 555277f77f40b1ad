// The display layer over GLUT: one real-time screen device, its window or full-screen game mode, paced frames.
#pragma once
#include <cstdint>

struct display_frame;
struct display_io;

struct display_device {
  int32_t kind;               // 0 = the GLUT screen (real-time)
  int32_t prefer_fullscreen;  // the display callback switches until the window matches it
  int32_t available;          // 0 once a layer has committed it
  display_io* owner;          // the layer that claimed it at define
};

// Callbacks run on the window thread inside the GLUT loop. The display callback defines, draws and
// commits the frame (or commits none); attach and detach see every window made or taken down, also
// those of a switch between full screen and a window.
using display_fn = void (*)(void* user, display_frame* frame);
using display_device_fn = void (*)(void* user, display_device* device);

struct pixel_ratio {
  int32_t numerator;
  int32_t denominator;  // 0 and 0 = not set
};
struct pixel_size {
  int32_t width;
  int32_t height;
};
struct pixel_rect {
  int32_t x, y, width, height;
};

// ==== Pure computations of the window's geometry
// Ratio of w to h over the denominators 3, 9, 10 and finally h: 1280 x 720 gives 16:9.
pixel_ratio pixel_ratio_make(int32_t w, int32_t h);
// The largest size of the ratio inside (w, h), keeping the full width or the full height.
pixel_size constraint_to_ratio(pixel_size size, pixel_ratio ratio);
// The window for a screen: 720 rows (1280 columns, or the aspect ratio when set), shrunk by one over
// the square root of two while it does not fit inside the screen. `window_ratio` receives its ratio.
pixel_size display_window_size(pixel_size screen, pixel_ratio aspect, pixel_ratio* window_ratio);
// The game mode string for a window size, "WxH:32@00", into a buffer of `capacity` bytes.
void display_game_mode_string(char* buffer, int32_t capacity, pixel_size window);
// The viewport that centres the ratio in a window of (w, h), leaving black bars.
pixel_rect display_letterbox(int32_t w, int32_t h, pixel_ratio ratio);

// Following the full-screen preference, one displayed frame at a time. A switch starts when preference
// and game mode differ; while it is pending the program gets no frames, from the fifth such frame on
// each says so, and every 64th tries the switch again. (A switch that took five frames or more keeps
// frames withheld until that retry, which starts a fresh switch with the count at 0.)
struct display_switch {
  int32_t switching;
  int32_t count;
};
struct display_switch_actions {
  bool toggle;         // start the switch now (before anything else of this frame)
  bool call_display;   // hand the frame to the program
  bool say_waiting;    // print the not-calling line with `waiting_count`
  int32_t waiting_count;
  bool retry;          // print "trying to switch again" and toggle (after the above)
};
display_switch_actions display_switch_step(display_switch* s, bool prefer_full, bool game_mode_active);

// ==== The layer
// GLUT is initialised at the first make. Define hands out the free devices and claims them.
void display_io_make(display_io** io);
void display_io_define(display_io** io, display_device*** list);
int display_device_is_realtime(const display_device* device);
void display_device_prefer_fullscreen(display_device* device, int32_t flag);
void display_device_set_aspect_ratio(display_device* device, int32_t width, int32_t height);
void display_device_attach(display_device* device, display_fn display, display_device_fn attach,
                           display_device_fn detach, void* user);
int display_device_command(display_device* device, int32_t command, int32_t argument);
int32_t display_device_bpp(const display_device* device);  // 16 with 5 red bits, else 32
void display_device_resolution_in_px(const display_device* device, pixel_size* size);
display_device* display_context_get_device(display_device* device);
// Binds the device (or none) to the layer and makes its two frames.
void display_io_commit(display_io** io, display_device* device);
// Opens the window and runs the GLUT loop; frees the layer if the loop ever returns. *io becomes null.
void display_io_finish(display_io** io);
int glut_is_fullscreen();
// Every key other than Escape and Alt+Return goes to `keys` (window thread), when one is given.
using display_key_fn = void (*)(unsigned char key);
void display_io_keys(display_key_fn keys);
// Called by my_exit before the "quit" line, on the thread that quits (to close files still being written).
using display_quit_fn = void (*)();
void display_io_on_quit(display_quit_fn quit);
// The display-fps of the last display statistics line (0 before the first); window thread.
float display_io_reported_fps();
// Writes "quit" to the performance log and ends the process with status 0 (see the definition for why
// it does not run the exit handlers).
[[noreturn]] void my_exit();
