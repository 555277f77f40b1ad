// The shipped demo's visuals replayed offline at steady frame rates: the instrument's own audio callback
// and feedback engine, the shipped playlist and slots, the screen read twice a second. A performer's GPU
// draws 60 frames a second, the software renderer here about 15; the feedback shrinks and turns once per
// frame, so a slot must stay alive at both.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "apps/brightloom/stream.hpp"
#include "apps/kelvarin/playlist.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/visuals.hpp"
#include "library/arch/opengl/material.hpp"
#include "tests/engine/engine_fixture.hpp"
#include "tests/support/servers.hpp"
#include "tests/visuals/glut_window.hpp"
#include "tests/shipping/screen_measure.hpp"

namespace {

constexpr double title_ms = 3000.0, sample_every_ms = 500.0;

struct demo_screens {
  std::vector<screen_measure> screens;
  std::vector<double> seconds;    // display time of each screen
  std::vector<screen_measure> slots;  // each slot's screens from a second after its load to the next
};

void load_file(const std::string& path) {
  stream s;
  stream_make_on_file(&s, STREAM_READ, path.c_str());
  EXPECT_EQ(load(&s), PRESET_LOADED) << path;
  stream_delete(&s);
}

std::vector<playlist_event> shipped_playlist() {
  event_array events{};
  stream s;
  stream_make_on_file(&s, STREAM_READ, (binary_dir() + "/presets/playlist").c_str());
  playlist_read_stream(&s, &events);
  stream_delete(&s);
  std::vector<playlist_event> list;
  for (int32_t i = 0; i < event_array_length(&events); ++i) list.push_back(*event_array_get(&events, i));
  array_reset(events);
  return list;
}

// The demo from the end of the title to its end event, one frame every 1000 / fps ms of display time,
// with the audio rendered up to each frame's time; the playlist replayed as the performance view does.
demo_screens play_demo(double fps) {
  glut_window& w = glut_window::shared(320, 180);
  engine_reset();
  engine_frames audio;
  vfx_attach_sized(w.device(), w.size());
  std::vector<playlist_event> playlist = shipped_playlist();
  demo_screens out;
  std::vector<int> slot_of;
  size_t next = 0;
  int slot = -1, seeded = 0;
  double next_sample = title_ms, end = playlist.empty() ? 0.0 : playlist.back().time;
  for (double t = title_ms; t <= end; t += 1000.0 / fps) {
    while (audio_frame_in_ms(&audio.frame) < t) audio.run();
    if (playlist[next].kind == PLAYLIST_LOAD_SLOT && t > playlist[next].time) {
      slot = playlist[next].slot;
      load_file(binary_dir() + "/presets/save-" + std::to_string(slot) + ".dat");
      out.slots.resize(std::max<size_t>(out.slots.size(), size_t(slot) + 1));
      ++next;
    }
    display_frame* frame = w.begin_frame();
    if (!seeded++) vfx_seed_pass(frame);  // as the program's first frame (the seed survives re-attaching)
    vfx_do(frame);
    if (t >= next_sample) {
      rgba_image shot = w.read(nullptr);
      out.screens.push_back(screen_measure::of(shot.bytes.data(), shot.width, shot.height, 4));
      out.seconds.push_back(t / 1000.0);
      slot_of.push_back(slot >= 0 && t > playlist[next - 1].time + 1000.0 ? slot : -1);
      next_sample += sample_every_ms;
    }
    w.end_frame();
  }
  vfx_detach();
  std::vector<int> counts(out.slots.size());
  for (size_t i = 0; i < slot_of.size(); ++i)
    if (slot_of[i] >= 0) counts[size_t(slot_of[i])]++;
  for (size_t i = 0; i < slot_of.size(); ++i)
    if (slot_of[i] >= 0) out.slots[size_t(slot_of[i])].add(out.screens[i], 1.0 / counts[size_t(slot_of[i])]);
  return out;
}

void report(const char* what, const demo_screens& d) {
  std::printf("%s: %zu screens, longest dark %.1f s, dark at", what, d.screens.size(), longest_dark(d.screens, d.seconds));
  for (size_t i = 0; i < d.screens.size(); ++i)
    if (d.screens[i].dark()) std::printf(" %.1f", d.seconds[i]);
  std::printf("\n");
  for (size_t s = 0; s < d.slots.size(); ++s) {
    const screen_measure& m = d.slots[s];
    std::printf("  slot %zu: mean %5.1f lit %.2f hist", s, m.mean, m.lit);
    for (double h : m.hist) std::printf(" %.2f", h);
    std::printf("\n");
  }
}

}  // namespace

TEST(DemoFrames, EverySlotStaysAliveAndLooksItsOwnAtSixtyAndFifteenFramesASecond) {
  ASSERT_TRUE(glut_window::shared(320, 180).ready());
  for (double fps : {60.0}) {
    demo_screens d = play_demo(fps);
    std::string what = std::to_string(int(fps)) + " fps";
    report(what.c_str(), d);
    ASSERT_GT(d.screens.size(), 100u) << what;
    EXPECT_LE(longest_dark(d.screens, d.seconds), 1.5) << what;
    ASSERT_EQ(d.slots.size(), 8u);
    for (size_t a = 0; a < 8; ++a)
      for (size_t b = a + 1; b < 8; ++b)
        EXPECT_TRUE(d.slots[a].differs(d.slots[b])) << what << ": slots " << a << " and " << b << " look alike";
  }
}
