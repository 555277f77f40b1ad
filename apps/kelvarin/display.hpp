// The instrument's display callbacks: the title for three seconds, then the panel or the performance view.
#pragma once

struct display_frame;
struct display_device;

// Display time at which the title gives way (a frame at exactly this time already shows what follows).
constexpr float title_period_ms = 3000.0f;

// Window thread only, called by the display layer once per displayed frame; `user` is not used.
void do_display(void* user, display_frame* frame);
// Every window made (also after a switch between full screen and a window) and taken down.
void do_display_attach(void* user, display_device* device);
void do_display_detach(void* user, display_device* device);
// Draws "virtual://root/title.jpg" over the whole view; the image is read on the first call and kept.
void show_title();
// The frame's display time in milliseconds.
float now(const display_frame* frame);
