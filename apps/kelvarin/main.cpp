// The instrument's entry: synthesizer state, MIDI port, audio stream, then the display loop for good.
#include <cstdio>
#include <cstdlib>

#include "apps/kelvarin/display.hpp"
#include "apps/kelvarin/main_audio.hpp"
#include "apps/kelvarin/recorder.hpp"
#include "library/arch/opengl/display-glut.hpp"

namespace {

// "r" starts and stops a recording of what the instrument plays, in every build.
void private_keys(unsigned char key) {
  if (key == 'r') recorder_toggle();
}

// The first real-time display device gets the instrument's callbacks and is asked for full screen. With
// none real-time, the last device examined goes on without callbacks; an empty list gives none.
display_device* private_choose_display(display_io* io) {
  display_device** list = nullptr;
  display_io_define(&io, &list);
  display_device* device = nullptr;
  for (display_device** d = list; d && *d; ++d) {
    device = *d;
    if (!display_device_is_realtime(device)) continue;
    display_device_prefer_fullscreen(device, 1);
    display_device_attach(device, do_display, do_display_attach, do_display_detach, nullptr);
    break;
  }
  return device;
}

}  // namespace

int main() {
  // Lines reach a log or a pipe as they are written, interleaved with the statistics in their order.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  kelvarin_sound_start();

  display_io* display = nullptr;
  display_io_make(&display);
  display_io_keys(private_keys);
  display_io_on_quit(recorder_finish);  // a recording running at the quit key or the playlist's end
  display_device* device = display ? private_choose_display(display) : nullptr;
  display_io_commit(&display, device);
  display_io_finish(&display);

  // The loop returns only when the window was closed from outside. Finishing the audio layer would wait
  // for ever (the stream ends only from its callback), so the instrument ends as the quit key ends it.
  my_exit();
}
