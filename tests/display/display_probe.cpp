// Drives the display layer with one kind of frame and prints pixels read back, for the window tests.
// Modes: "raster-i32" and "raster-float96" (a raster frame of two colours), "letterbox" (white over the
// letterboxed viewport once the window is 1000 x 1000). After the read-back it commits none: the program
// ends through the display layer as a window that has nothing to show.
#include <GL/freeglut.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "library/arch/opengl/display-glut.hpp"
#include "library/arch/opengl/frame.hpp"

namespace {

const char* mode = "";
int frames = 0;
bool done = false;

void print_pixel(const char* name, int x, int y) {
  unsigned char p[4] = {0, 0, 0, 0};
  glReadBuffer(GL_BACK);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  std::printf("pixel %s %d %d %d\n", name, p[0], p[1], p[2]);
}

// Left half red, right half blue, as 0x00RRGGBB words.
void fill_i32(display_frame* frame) {
  uint32_t* pixels = nullptr;
  int32_t w = 0, h = 0, stride = 0;
  display_frame_define_raster_i32(frame, &pixels, &w, &h, &stride);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) pixels[y * stride + x] = x < w / 2 ? 0x00ff0000u : 0x000000ffu;
  std::printf("raster %d %d %d\n", w, h, stride);
}

// Top rows green, bottom rows mid grey, as three floats; values outside 0..1 clamp.
void fill_float96(display_frame* frame) {
  float* pixels = nullptr;
  int32_t w = 0, h = 0, stride = 0;
  display_frame_define_raster_float96(frame, &pixels, &w, &h, &stride);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      float* p = pixels + (y * stride + x) * 3;
      bool top = y < h / 2;
      p[0] = top ? -1.0f : 0.5f;
      p[1] = top ? 7.0f : 0.5f;
      p[2] = top ? 0.0f : 0.5f;
    }
  }
  std::printf("raster %d %d %d\n", w, h, stride);
}

void draw_white_viewport(display_frame* frame) {
  display_frame_define(frame, nullptr);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glColor3f(1, 1, 1);
  glRectf(-1, -1, 1, 1);
}

void report(display_frame* frame, int w, int h) {
  std::printf("bpp %d\n", display_device_bpp(display_frame_device(frame)));
  if (!std::strcmp(mode, "letterbox")) {
    for (int y : {100, 218, 219, 500, 780, 781, 900}) {
      char name[16];
      std::snprintf(name, sizeof name, "row%d", y);
      print_pixel(name, w / 2, y);
    }
  } else {
    print_pixel("bottom-left", w / 4, h / 4);
    print_pixel("bottom-right", 3 * w / 4, h / 4);
    print_pixel("top-left", w / 4, 3 * h / 4);
    print_pixel("top-right", 3 * w / 4, 3 * h / 4);
  }
}

void probe_display(void*, display_frame* frame) {
  if (done) {
    display_frame_commit_none(frame);
    return;
  }
  bool letterbox = !std::strcmp(mode, "letterbox");
  if (letterbox) draw_white_viewport(frame);
  else if (!std::strcmp(mode, "raster-i32")) fill_i32(frame);
  else fill_float96(frame);
  display_frame_commit(frame);
  int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
  bool ready = letterbox ? (w == 1000 && h == 1000) : ++frames >= 5;
  if (!ready) return;
  report(frame, w, h);
  done = true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc != 2) return 2;
  mode = argv[1];
  display_io* io = nullptr;
  display_io_make(&io);
  display_device** list = nullptr;
  display_io_define(&io, &list);
  display_device* device = list ? list[0] : nullptr;
  if (device) display_device_attach(device, probe_display, nullptr, nullptr, nullptr);
  display_io_commit(&io, device);
  display_io_finish(&io);
  return 1;  // the loop returns only when the window was closed from outside
}
