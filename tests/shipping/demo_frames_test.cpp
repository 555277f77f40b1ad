// The shipped slots' visuals at a steady 60 frames a second, as a performer's GPU draws them, and at 15,
// as the software renderer here does: the instrument's own audio callback and feedback engine, the slots
// loaded in the demo's order after the title, the screen read twice a second. The feedback shrinks and
// turns once per frame, so the faster screen is the harder case for staying alive, the slower one for
// not washing out white; the small window, whose edges wear away a pixel at a time in fewer frames than
// a full screen's, is the harder case for both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "apps/brightloom/stream.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/visuals.hpp"
#include "tests/engine/engine_fixture.hpp"
#include "tests/shipping/screen_measure.hpp"
#include "tests/support/servers.hpp"
#include "tests/visuals/glut_window.hpp"

namespace {

constexpr double title_ms = 3000.0, first_load_ms = 3500.0, slot_ms = 4500.0;

void load_slot(int slot) {
  std::string path = binary_dir() + "/presets/save-" + std::to_string(slot) + ".dat";
  stream s;
  stream_make_on_file(&s, STREAM_READ, path.c_str());
  EXPECT_EQ(load(&s), PRESET_LOADED) << path;
  stream_delete(&s);
}

struct walk {
  std::vector<screen_measure> screens;
  std::vector<double> seconds;
  screen_measure slots[8];  // each slot's screens from a second after its load to the next load
};

walk walk_through_the_slots(glut_window& w, double fps) {
  engine_reset();
  engine_frames audio;
  vfx_attach_sized(w.device(), w.size());
  walk out;
  std::vector<int> owner;  // the slot whose own screen it is, or -1
  int slot = -1;
  // Display time from the end of the title; the audio is rendered up to each frame's time.
  for (double t = title_ms, next_shot = title_ms; t < first_load_ms + 8 * slot_ms; t += 1000.0 / fps) {
    while (audio_frame_in_ms(&audio.frame) < t) audio.run();
    if (t > first_load_ms + (slot + 1) * slot_ms) load_slot(++slot);
    display_frame* frame = w.begin_frame();
    if (t == title_ms) vfx_seed_pass(frame);  // the program's first frame is white
    vfx_do(frame);
    if (t >= next_shot) {
      rgba_image shot = w.read(nullptr);
      out.screens.push_back(screen_measure::of(shot.bytes.data(), shot.width, shot.height, 4));
      out.seconds.push_back(t / 1000.0);
      owner.push_back(slot >= 0 && t > first_load_ms + slot * slot_ms + 1000.0 ? slot : -1);
      next_shot += 500.0;
    }
    w.end_frame();
  }
  vfx_detach();
  for (int s = 0; s < 8; ++s)
    for (size_t i = 0; i < owner.size(); ++i)
      if (owner[i] == s) out.slots[s].add(out.screens[i], 1.0 / double(std::count(owner.begin(), owner.end(), s)));
  return out;
}

}  // namespace

TEST(DemoFrames, EverySlotStaysAliveAndLooksItsOwnAtSixtyAndFifteenFramesASecond) {
  glut_window& w = glut_window::shared(320, 180);
  ASSERT_TRUE(w.ready());
  for (double fps : {60.0, 15.0}) {
    walk d = walk_through_the_slots(w, fps);
    double longest = longest_dark(d.screens, d.seconds);
    std::printf("%.0f frames a second: longest dark stretch %.1f s, dark at", fps, longest);
    for (size_t i = 0; i < d.screens.size(); ++i)
      if (d.screens[i].dark()) std::printf(" %.1f", d.seconds[i]);
    std::printf("\n");
    for (int s = 0; s < 8; ++s) {
      std::printf("  slot %d: mean %5.1f, lit %.2f, histogram", s, d.slots[s].mean, d.slots[s].lit);
      for (double h : d.slots[s].hist) std::printf(" %.2f", h);
      std::printf("\n");
    }
    EXPECT_LE(longest, 1.5) << fps;
    for (int a = 0; a < 8; ++a)
      for (int b = a + 1; b < 8; ++b)
        EXPECT_TRUE(d.slots[a].differs(d.slots[b])) << fps << " frames a second: slots " << a << " and " << b;
  }
}
