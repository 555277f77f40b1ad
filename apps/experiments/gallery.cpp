// The widget gallery: every widget and layout of the interface library on one page, live or saved as a PNG.
// Run it with no arguments for a window (Escape quits) or with "--png FILE" to draw one page and save it.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "apps/experiments/layout.hpp"
#include "apps/experiments/widgets.hpp"
#include "library/arch/opengl/frame.hpp"
#include "library/arch/posix/time.hpp"
#include "toolset/visuals/image.hpp"

namespace {

constexpr int width = 800, height = 600;

struct gallery {
  ui u;  // first member: a gallery is also a ui
  ui_layout page, buttons, knobs, flow, column;
  image picture;
  float knob[4];
  float history[3 * 96];  // (marker, low, high) per column
  int32_t clicks;
  frame_stats stats;
  frame_hooks_array hooks;
  display_frame frame;
};

gallery g;

// A small picture for the image button: a warm disc on a cool square, made here so nothing is loaded.
void gallery_make_picture(image* img) {
  constexpr int32_t side = 16;
  image_make_argb_i8888_unallocated(img, side, side);
  img->pixels = static_cast<uint8_t*>(std::malloc(side * side * 4));
  if (!img->pixels) return image_make_null(img);
  for (int32_t y = 0; y < side; ++y)
    for (int32_t x = 0; x < side; ++x) {
      uint8_t* p = img->pixels + 4 * (y * side + x);
      bool disc = (x - 7.5) * (x - 7.5) + (y - 7.5) * (y - 7.5) < 36.0;
      p[0] = disc ? 230 : 40, p[1] = disc ? 120 : 90, p[2] = disc ? 30 : 200, p[3] = 255;
    }
}

// A decaying tone summarised as the panel summarises a voice: level, lowest and highest of each group.
void gallery_make_history(float* triples, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    float envelope = std::exp(-3.0f * float(i) / float(count)), s = 0.5f * std::sin(float(i) * 0.4f);
    triples[3 * i] = 0.5f + 0.35f * envelope * s;
    triples[3 * i + 1] = 0.5f - 0.45f * envelope;
    triples[3 * i + 2] = 0.5f + 0.45f * envelope;
  }
}

void gallery_row_of_buttons(gallery* p) {
  ui_flow_make(&p->buttons, &p->u, ui_id(&p->u), &p->page);
  private_do_margin(&p->u);
  if (ui_button(&p->u, ui_id(&p->u), nullptr, nullptr, "press me")) p->clicks += 1;
  ui_button(&p->u, ui_id(&p->u), nullptr, &p->picture, "image");
  ui_button(&p->u, ui_id(&p->u), nullptr, nullptr, "%s", "a format two bytes long");
  ui_flow_destroy(&p->buttons, &p->u);
}

void gallery_row_of_knobs(gallery* p) {
  static const char* names[4] = {"gain %1.2f", "pan %+3.0f", "cut %5.0f", "q %1.2f"};
  static const float lows[4] = {0, -1, 20, 0}, highs[4] = {3, 1, 20000, 12}, shown[4] = {1, 100, 1, 1};
  ui_flow_make(&p->knobs, &p->u, ui_id(&p->u), &p->page);
  private_do_margin(&p->u);
  for (int32_t k = 0; k < 4; ++k)
    p->knob[k] = ui_knob(&p->u, ui_id(&p->u), nullptr, p->knob[k], lows[k], highs[k], names[k], p->knob[k] * shown[k]);
  ui_flow_destroy(&p->knobs, &p->u);
}

void gallery_wrapping_flow(gallery* p) {
  ui_flow_make(&p->flow, &p->u, ui_id(&p->u), &p->page);
  for (int32_t i = 0; i < 14; ++i) ui_button(&p->u, ui_id(&p->u), nullptr, nullptr, "item %02d", i);
  ui_flow_destroy(&p->flow, &p->u);
}

// A clip area cuts a knob-sized ring in half: only the part inside the box is drawn.
void gallery_clip_area(gallery* p) {
  xy a;
  ui_anchor(&p->u, &a);
  lrtb box = {a.x, a.x + 0.2f, a.y, a.y - 0.1f};
  const float blue[4] = {0.2f, 0.3f, 0.8f, 1.0f}, black[4] = {0, 0, 0, 1};
  xy centre = {a.x + 0.2f, a.y - 0.1f};
  ui_cliparea_begin(&p->u, &box);
  draw_arc(&centre, blue, 0.08f, 0.04f, 0.0f, 6.2831853f);
  ui_cliparea_end(&p->u);
  draw_lrtb_box(&box, black, 0);
  ui_cliparea_begin(&p->u, &p->page.clip);  // back to the page's own clip area
  ui_add(&p->u, NULL_HID, &box);
  ui_cliparea_end(&p->u);
}

// A stack with more lines than fit below its start gets a scroll bar at its right edge.
void gallery_scrolling_column(gallery* p) {
  xy at = {0.5f, 0.9f};
  ui_set_anchor(&p->u, &at);
  ui_stack_make(&p->column, &p->u, ui_id(&p->u), nullptr);
  ui_label(&p->u, nullptr, "A stack that scrolls");
  for (int32_t i = 1; i <= 40; ++i) ui_label(&p->u, nullptr, "line %d of 40", i);
  ui_layout_destroy(&p->column, &p->u);
}

// The page keeps to the left of the scrolling column: its clip is derived from this (never opened) parent.
const ui_layout left_half = {NULL_HID, {}, {-1.0f, 0.5f, 1.0f, -1.0f}, 0, 0, 0.0f, 0};

void gallery_page(gallery* p) {
  const float white[4] = {1, 1, 1, 1};
  ui_background(&p->u, white);
  ui_stack_make(&p->page, &p->u, ui_id(&p->u), const_cast<ui_layout*>(&left_half));
  private_do_margin(&p->u);
  ui_label(&p->u, nullptr, "Kelvarin widget gallery");
  ui_label(&p->u, nullptr, "Buttons (clicked %d times): plain, with an image, box as wide as its format", p->clicks);
  gallery_row_of_buttons(p);
  ui_label(&p->u, nullptr, "Knobs: drag up or down");
  gallery_row_of_knobs(p);
  ui_label(&p->u, nullptr, "Statistics plot");
  xy size = {0.8f, 3 * ui_vertical_period(&p->u)};
  ui_stats(&p->u, nullptr, &size, p->history, 96);
  ui_label(&p->u, nullptr, "A flow that wraps");
  gallery_wrapping_flow(p);
  ui_label(&p->u, nullptr, "A clip area");
  gallery_clip_area(p);
  ui_layout_destroy(&p->page, &p->u);
  gallery_scrolling_column(p);
}

void gallery_draw() {
  glViewport(0, 0, width, height);
  g.frame.time = get_milliseconds();
  display_frame_define(&g.frame, nullptr);
  ui_define(&g.u, &g.frame);
  gallery_page(&g);
  ui_commit(&g.u);
  display_frame_commit(&g.frame);
}

void gallery_display() {
  gallery_draw();
  glutSwapBuffers();
}

void gallery_tick(int) {
  glutPostRedisplay();
  glutTimerFunc(16, gallery_tick, 0);
}

void gallery_keyboard(unsigned char key, int, int) {
  if (key == 27) std::exit(0);
}

int gallery_save_png(const char* path) {
  std::vector<unsigned char> pixels(size_t(width) * height * 3), flipped(pixels.size());
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  for (int y = 0; y < height; ++y)  // OpenGL rows go upwards, PNG rows downwards
    std::memcpy(&flipped[size_t(y) * width * 3], &pixels[size_t(height - 1 - y) * width * 3], size_t(width) * 3);
  return stbi_write_png(path, width, height, 3, flipped.data(), width * 3) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* png = argc == 3 && std::strcmp(argv[1], "--png") == 0 ? argv[2] : nullptr;
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowPosition(0, 0);
  glutInitWindowSize(width, height);
  glutCreateWindow("kelvarin gallery");
  frame_make(&g.frame, nullptr, get_milliseconds(), &g.stats, &g.hooks);
  ui_make(&g.u);
  ui_attach(&g.u, nullptr);
  gallery_make_picture(&g.picture);
  gallery_make_history(g.history, 96);
  const float knobs[4] = {1.2f, -0.3f, 2000.0f, 9.0f};
  std::memcpy(g.knob, knobs, sizeof knobs);
  if (png) {
    gallery_draw();
    int status = gallery_save_png(png);
    if (status) std::fprintf(stderr, "cannot write %s\n", png);
    return status;
  }
  glutDisplayFunc(gallery_display);
  glutKeyboardFunc(gallery_keyboard);
  glutTimerFunc(16, gallery_tick, 0);
  glutMainLoop();
  return 0;
}
