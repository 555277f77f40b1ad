// The display layer over GLUT: one real-time screen device, its window or full-screen game mode, paced frames.
#include "library/arch/opengl/display-glut.hpp"

#include <GL/freeglut.h>
#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "library/arch/opengl/extensions.hpp"
#include "library/arch/opengl/frame.hpp"
#include "library/arch/opengl/framebuffer_texture.hpp"
#include "library/arch/posix/time.hpp"
#include "library/config.hpp"
#include "pure/math.hpp"

// ==== [SECTION] Index
// Pure geometry, layer state, device registry, window making and switching, GLUT callbacks, lifecycle.

struct display_io {
  const char* title;
  display_device* device;
  display_device** list;
  pixel_size window;
  pixel_ratio ratio;
  int32_t window_id;  // -1 at make, 0 after a window was deleted
  int32_t red_bits, green_bits, blue_bits;
  double period;  // ms between two showings of the same frame
  double offset;  // ms added to every frame time
  display_fn display;
  display_device_fn attach;
  display_device_fn detach;
  void* user;
  display_frame frames[2];
  int32_t frames_made;
  frame_stats stats;
  frame_hooks_array hooks;
};

namespace {

constexpr int32_t window_rows = 720;
constexpr int32_t window_columns = 1280;
constexpr int32_t key_escape = 27;
constexpr int32_t key_return = 13;
constexpr int32_t switch_message_from = 5;  // pending frames before the not-calling message
constexpr int32_t switch_retry_every = 64;  // pending frames between two attempts
constexpr unsigned int window_mode = GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH | GLUT_MULTISAMPLE;
static_assert(window_mode == 0x92);
constexpr int32_t registry_capacity = 15;

// ==== [SECTION] Process-wide state (window thread only)
struct display_glut_state {
  int32_t glut_ready;
  display_device screen;
  display_device* registry[registry_capacity];
  int32_t registry_count;
  display_io* current;  // the layer whose loop runs
  int32_t glew_tried;
  int32_t timer_running;
  int32_t frame_index;  // the frame shown next, 0 or 1
  display_switch pending;
};
display_glut_state glut_state{};
float reported_fps = 0.0f;             // of the last display statistics line
display_key_fn program_keys = nullptr;  // keys the layer leaves to the program
display_quit_fn program_quit = nullptr;  // the program's last words before the process ends

}  // namespace

// ==== [SECTION] Pure geometry
pixel_ratio pixel_ratio_make(int32_t w, int32_t h) {
  if (w <= 0 || h <= 0) return {0, 0};
  const int32_t candidates[] = {3, 9, 10, h};
  float reciprocal = 1.0f / float(h);
  int32_t numerator = 0, denominator = h;
  for (int32_t d : candidates) {
    float x = float(d) * float(w) * reciprocal;
    numerator = int32_t(x);
    denominator = d;
    if (almost_equal(x - float(numerator), 0.0f, 1e-6f)) break;
  }
  return {numerator, denominator};
}

pixel_size constraint_to_ratio(pixel_size size, pixel_ratio ratio) {
  if (ratio.numerator <= 0 || ratio.denominator <= 0) return size;
  int32_t h = int32_t(int64_t(size.width) * ratio.denominator / ratio.numerator);
  if (h <= size.height) return {size.width, h};
  return {int32_t(int64_t(size.height) * ratio.numerator / ratio.denominator), size.height};
}

pixel_size display_window_size(pixel_size screen, pixel_ratio aspect, pixel_ratio* window_ratio) {
  int32_t w = window_columns, h = window_rows;
  if (int64_t(aspect.numerator) * aspect.denominator != 0) w = aspect.numerator * window_rows / aspect.denominator;
  *window_ratio = pixel_ratio_make(w, window_rows);
  // An unknown screen (size 0) leaves the window as it is rather than shrinking it to nothing.
  bool known = screen.width > 0 && screen.height > 0;
  if (known && (screen.height <= window_rows || w >= screen.width)) {
    while ((screen.height <= h || screen.width <= w) && h > 1 && w > 1) {
      w = int32_t(w * 0.7071067811865475);
      h = int32_t(h * 0.7071067811865475);
    }
  }
  if (window_ratio->denominator > 0) w = int32_t(int64_t(h) * window_ratio->numerator / window_ratio->denominator);
  return {w, h};
}

void display_game_mode_string(char* buffer, int32_t capacity, pixel_size window) {
  std::snprintf(buffer, size_t(capacity), "%dx%d:%d@00", window.width, window.height, 32);
}

pixel_rect display_letterbox(int32_t w, int32_t h, pixel_ratio ratio) {
  pixel_size fit = constraint_to_ratio({w, h}, ratio);
  return {(w - fit.width) / 2, (h - fit.height) / 2, fit.width, fit.height};
}

display_switch_actions display_switch_step(display_switch* s, bool prefer_full, bool game_mode_active) {
  display_switch_actions a{};
  if (prefer_full == game_mode_active) {
    s->switching = 0;
  } else if (!s->switching) {
    s->switching = 1;
    s->count = 0;
    a.toggle = true;
  }
  if (!s->switching && s->count < switch_message_from) {
    a.call_display = true;
    return a;
  }
  a.say_waiting = !(s->switching && s->count < switch_message_from);
  a.waiting_count = s->count;
  a.retry = ++s->count % switch_retry_every == 0;
  return a;
}

// ==== [SECTION] Window making and switching
namespace {

void private_display_glut_keyboard(unsigned char key, int x, int y);
void private_display_glut_reshape(int w, int h);
void private_display_glut_display();

void private_display_glut_timer(int value) {
  display_io* io = glut_state.current;
  if (value != 0 || !io) {
    glut_state.timer_running = 0;
    return;
  }
  if (io->window_id > 0) {
    glutSetWindow(io->window_id);
    glutPostRedisplay();
  }
  glutTimerFunc(unsigned(int32_t(io->period) * 1 / 3), private_display_glut_timer, 0);
}

void private_display_glut_attach(display_io* io) {
  io->red_bits = glutGet(GLUT_WINDOW_RED_SIZE);
  io->green_bits = glutGet(GLUT_WINDOW_GREEN_SIZE);
  io->blue_bits = glutGet(GLUT_WINDOW_BLUE_SIZE);
  if (io->green_bits < 8) std::printf("WARNING: bpp is %d/%d/%d.\n", io->red_bits, io->green_bits, io->blue_bits);
  glutSpecialFunc(nullptr);
  glutKeyboardFunc(private_display_glut_keyboard);
  glutReshapeFunc(private_display_glut_reshape);
  glutDisplayFunc(private_display_glut_display);
  // GLUT timers outlive windows: one chain serves every window made by a switch.
  if (!glut_state.timer_running) {
    glut_state.timer_running = 1;
    private_display_glut_timer(0);
  }
  if (io->attach) {
    glutSetWindow(io->window_id);
    io->attach(io->user, io->device);
  }
}

void private_display_glut_make_window(display_io* io, bool full) {
  bool made = false;
  if (full && glutGameModeGet(GLUT_GAME_MODE_POSSIBLE)) {
    io->window_id = glutEnterGameMode();
    if (glutGetWindow()) glutSetCursor(GLUT_CURSOR_NONE);
    made = true;
  }
  if (io->window_id < 1) {
    // Also where game mode is impossible: the preference is cleared so the switch is not retried.
    io->window_id = glutCreateWindow(io->title);
    io->device->prefer_fullscreen = 0;
    made = true;
  }
  if (!glut_state.glew_tried) {
    glut_state.glew_tried = 1;
    if (!opengl_extensions_init()) std::fprintf(stderr, "Error: %s\n", opengl_extensions_error());
    std::printf("Status: Using GLEW %s\n", opengl_extensions_version());
  }
  if (made) private_display_glut_attach(io);
}

void private_display_glut_delete_window(display_io* io, bool was_full) {
  for (display_frame& frame : io->frames) frame_delete_raster(&frame);
  if (io->detach) io->detach(io->user, io->device);
  if (was_full) {
    glutLeaveGameMode();
  } else if (io->window_id > 0) {
    glutDestroyWindow(io->window_id);
  }
  io->window_id = 0;
}

void private_display_glut_toggle(display_io* io) {
  if (glut_is_fullscreen()) {
    std::puts("switching to windowed mode");
    private_display_glut_delete_window(io, true);
    private_display_glut_make_window(io, false);
    if (glutGetWindow()) glutSetCursor(GLUT_CURSOR_INHERIT);
  } else {
    std::puts("switching to fullscreen mode");
    private_display_glut_delete_window(io, false);
    private_display_glut_make_window(io, true);
    if (glutGetWindow()) glutSetCursor(GLUT_CURSOR_NONE);
  }
}

// ==== [SECTION] GLUT callbacks
void private_display_glut_keyboard(unsigned char key, int, int) {
  display_io* io = glut_state.current;
  if (!io) return;
  if (key == key_escape) {
    if (glut_is_fullscreen()) private_display_glut_toggle(io);
    my_exit();
  }
  if (key == key_return && (glutGetModifiers() & GLUT_ACTIVE_ALT)) {
    io->device->prefer_fullscreen = !io->device->prefer_fullscreen;
  } else if (program_keys) {
    program_keys(key);
  }
}

void private_display_glut_reshape(int w, int h) {
  display_io* io = glut_state.current;
  if (!io) return;
  pixel_rect v = display_letterbox(w, h, io->ratio);
  glViewport(v.x, v.y, v.width, v.height);
}

void private_display_glut_report(display_io* io, display_frame* frame) {
  frame_stats* s = &io->stats;
  if (s->count <= 100 && s->interval_sum <= 1000.0) return;
  double interval = s->interval_sum / s->count, creation = s->creation_sum / s->count;
  reported_fps = float(1000.0 / interval);
  perf_log("display-fps: %.2f [%.2f .. %.2f], creation-fps: %.2f [%.2f .. %.2f], cpu-load: %.5f [%.2f .. %.2f]\n",
           1000.0 / interval, 1000.0 / s->interval_max, 1000.0 / s->interval_min, 1000.0 / creation,
           1000.0 / s->creation_max, 1000.0 / s->creation_min, creation / interval, s->creation_min / interval,
           s->creation_max / interval);
  framebuffer_texture* raster = frame->raster;
  if (raster && raster->blit_count > 0) {
    perf_log("framebuffer-blit-ms: %f\n", raster->blit_time / raster->blit_count);
    raster->blit_time = 0;
    raster->blit_count = 0;
  }
  frame_stats_make(s);
}

// Follows the preference and hands the frame to the program unless a switch is pending. Returns
// whether the frame was handed out.
bool private_display_glut_hand_out(display_io* io, display_frame* frame) {
  bool prefer = io->device->prefer_fullscreen != 0;
  display_switch_actions a = display_switch_step(&glut_state.pending, prefer, glut_is_fullscreen() != 0);
  if (a.toggle) private_display_glut_toggle(io);
  if (a.call_display && io->display) io->display(io->user, frame);
  if (a.say_waiting)
    std::printf("not calling display function, switching to %s mode [f: %d].\n",
                io->device->prefer_fullscreen ? "fullscreen" : "windowed", a.waiting_count);
  if (a.retry) {
    std::puts("trying to switch again");
    private_display_glut_toggle(io);
  }
  return a.call_display;
}

// A frame that carries nothing leaves full screen, or ends the program in a window.
void private_display_glut_none(display_io* io) {
  if (!io->device->prefer_fullscreen) my_exit();
  io->device->prefer_fullscreen = 0;
  if (glut_is_fullscreen()) {
    private_display_glut_toggle(io);
    if (glut_is_fullscreen()) my_exit();
  }
}

void private_display_glut_display() {
  display_io* io = glut_state.current;
  if (!io || !io->frames_made) return;
  display_frame* frame = &io->frames[glut_state.frame_index];
  if (io->window_id > 0) glutSetWindow(io->window_id);
  double t = get_milliseconds() + io->offset - frame->base_time;
  double dt = t - frame->time;
  if (dt <= io->period) {
    glutSwapBuffers();
    return;
  }
  frame->time = t;
  bool handed = private_display_glut_hand_out(io, frame);
  glutSwapBuffers();
  frame_stats_collect(&io->stats, dt, frame->commit_time - frame->define_time);
  private_display_glut_report(io, frame);
  // Frames withheld during a switch never reached the program, so their none flag says nothing.
  if (handed && frame->none) private_display_glut_none(io);
  glut_state.frame_index = 1 - glut_state.frame_index;
}

// ==== [SECTION] Device registry
// GLUT's fatal errors (no X display, no usable visual) end the process. The audio thread may already
// run, so the end is as immediate as my_exit's, with GLUT's message and status 1.
void private_display_glut_fatal(const char* format, va_list arguments) {
  std::fputs("freeglut (title): ", stderr);
  std::vfprintf(stderr, format, arguments);
  std::fputc('\n', stderr);
  std::fflush(nullptr);
  _exit(1);
}

void private_display_glut_init() {
  if (glut_state.glut_ready) return;
  static char title[] = "title";
  static char* argv[] = {title, nullptr};
  int argc = 1;
  glutInitErrorFunc(private_display_glut_fatal);
  glutInit(&argc, argv);
  // A window closed from outside ends the loop instead of exiting under the running audio thread.
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
  glut_state.glut_ready = 1;
  glut_state.screen = {0, 0, 1, nullptr};
  glut_state.registry[glut_state.registry_count++] = &glut_state.screen;
}

}  // namespace

void display_io_keys(display_key_fn keys) { program_keys = keys; }

void display_io_on_quit(display_quit_fn quit) { program_quit = quit; }

float display_io_reported_fps() { return reported_fps; }

int glut_is_fullscreen() { return glutGameModeGet(GLUT_GAME_MODE_ACTIVE) ? 1 : 0; }

// ==== [SECTION] Lifecycle
void display_io_make(display_io** io) {
  private_display_glut_init();
  display_io* d = new (std::nothrow) display_io{};
  if (d) {
    d->title = "";
    d->window_id = -1;
    d->period = 1000.0 / 60.0;
    frame_stats_make(&d->stats);
  }
  *io = d;
}

void display_io_define(display_io** io, display_device*** list) {
  *list = nullptr;
  display_io* d = *io;
  if (!d) return;
  std::free(d->list);
  d->list = static_cast<display_device**>(std::calloc(registry_capacity + 1, sizeof(display_device*)));
  if (!d->list) return;
  int32_t n = 0;
  for (int32_t i = 0; i < glut_state.registry_count; ++i) {
    display_device* device = glut_state.registry[i];
    if (!device->available || device->owner) continue;
    device->owner = d;
    d->list[n++] = device;
  }
  *list = d->list;
}

int display_device_is_realtime(const display_device* device) { return device && device->kind == 0; }

void display_device_prefer_fullscreen(display_device* device, int32_t flag) { device->prefer_fullscreen = flag; }

void display_device_set_aspect_ratio(display_device* device, int32_t width, int32_t height) {
  if (device->owner) device->owner->ratio = pixel_ratio_make(width, height);
}

void display_device_attach(display_device* device, display_fn display, display_device_fn attach,
                           display_device_fn detach, void* user) {
  display_io* d = device->owner;
  if (!d) return;
  d->display = display;
  d->attach = attach;
  d->detach = detach;
  d->user = user;
}

int display_device_command(display_device*, int32_t, int32_t) { return 0; }

int32_t display_device_bpp(const display_device* device) {
  return device && device->owner && device->owner->red_bits == 5 ? 16 : 32;
}

void display_device_resolution_in_px(const display_device* device, pixel_size* size) {
  *size = device && device->owner ? device->owner->window : pixel_size{0, 0};
}

display_device* display_context_get_device(display_device* device) { return device; }

void display_io_commit(display_io** io, display_device* device) {
  display_io* d = *io;
  if (!d) return;
  for (int32_t i = 0; i < glut_state.registry_count; ++i) {
    display_device* candidate = glut_state.registry[i];
    if (candidate->owner == d) candidate->owner = nullptr;
    if (candidate != device) continue;
    candidate->available = 0;
    candidate->owner = d;  // the committed device keeps its layer for its queries
    d->device = candidate;
    for (display_frame& frame : d->frames) frame_make(&frame, candidate, d->offset, &d->stats, &d->hooks);
    d->frames_made = 1;
    break;
  }
  std::free(d->list);
  d->list = nullptr;
}

namespace {

void private_display_glut_run(display_io* io) {
  glut_state.current = io;
  pixel_size screen{glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT)};
  pixel_ratio window_ratio{0, 0};
  io->window = display_window_size(screen, io->ratio, &window_ratio);
  io->ratio = window_ratio;
  glutInitDisplayMode(window_mode);
  glutInitWindowPosition(100, 100);
  glutInitWindowSize(io->window.width, io->window.height);
  char mode[1024];
  display_game_mode_string(mode, int32_t(sizeof mode), io->window);
  glutGameModeString(mode);
  private_display_glut_make_window(io, io->device->prefer_fullscreen != 0);
  if (glutGet(GLUT_WINDOW_DOUBLEBUFFER)) io->offset += io->period;
  glutMainLoop();
  glut_state.current = nullptr;
}

}  // namespace

void display_io_finish(display_io** io) {
  display_io* d = *io;
  if (!d) return;
  if (d->device && d->device->kind == 0) private_display_glut_run(d);
  if (d->frames_made)
    for (display_frame& frame : d->frames) frame_delete(&frame);
  frame_hooks_delete_all(&d->hooks);
  if (d->device) d->device->owner = nullptr;
  std::free(d->list);
  delete d;
  *io = nullptr;
}

// The audio, MIDI and OSC threads keep running until the process ends. exit() would run the static
// destructors and exit handlers (the audio system's, GLUT's, the program's globals) while those threads
// still use them, so the process ends at once after the last line is out; the servers see the
// connections close.
void my_exit() {
  if (program_quit) program_quit();
  perf_log("quit");
  std::fflush(nullptr);
  _exit(0);
}
