// The window's geometry, the frame hooks and the full-screen switch, without a display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/arch/opengl/display-glut.hpp"
#include "library/arch/opengl/frame.hpp"

namespace {
std::vector<int32_t> v(pixel_size s) { return {s.width, s.height}; }
std::vector<int32_t> v(pixel_rect r) { return {r.x, r.y, r.width, r.height}; }

// What the hooks did, in order: "d0" the define of world 0, "c1" the commit of world 1, "x2" its deletion.
std::vector<std::string> journal;
int worlds_made = 0, null_worlds_left = 0;
int worlds[8];
void* make_world() {
  if (null_worlds_left > 0 && null_worlds_left--) return nullptr;
  worlds[worlds_made] = worlds_made;
  return &worlds[worlds_made++];
}
void note(const char* what, void* world) {
  journal.push_back(what + (world ? std::to_string(*static_cast<int*>(world)) : "?"));
}
void delete_world(void* world) { note("x", world); }
void define(void* world, display_frame*) { note("d", world); }
void commit(void* world, display_frame*) { note("c", world); }
using strings = std::vector<std::string>;
}  // namespace

TEST(WindowGeometry, RatiosWindowSizesAndLetterboxes) {
  const int32_t ratios[][4] = {{1280, 720, 16, 9},        {1440, 900, 16, 10},      {1024, 768, 4, 3},
                               {2560, 1080, 2560, 1080}, {1280, 1024, 1280, 1024}, {0, 720, 0, 0}, {-5, 3, 0, 0}};
  for (auto& c : ratios) {
    pixel_ratio r = pixel_ratio_make(c[0], c[1]);
    EXPECT_EQ((std::vector<int32_t>{r.numerator, r.denominator}), (std::vector<int32_t>{c[2], c[3]})) << c[0];
  }
  EXPECT_EQ(v(display_letterbox(1000, 1000, {16, 9})), (std::vector<int32_t>{0, 219, 1000, 562}));
  EXPECT_EQ(v(display_letterbox(1920, 720, {16, 9})), (std::vector<int32_t>{320, 0, 1280, 720}));
  // The window for a screen: 1280 x 720, shrunk by the square root of two while it does not fit.
  const int32_t windows[][6] = {{1920, 1080, 0, 0, 1280, 720}, {1280, 800, 0, 0, 904, 509},
                                {800, 600, 0, 0, 638, 359},    {1920, 1080, 4, 3, 960, 720},
                                {0, 0, 0, 0, 1280, 720}};
  for (auto& c : windows) {
    pixel_ratio ratio{};
    EXPECT_EQ(v(display_window_size({c[0], c[1]}, {c[2], c[3]}, &ratio)), (std::vector<int32_t>{c[4], c[5]})) << c[0];
  }
}

TEST(FrameHooks, RunInOrderWithWorldsMadeOnceAndRemovedInPlace) {
  frame_stats stats;
  frame_stats_make(&stats);
  frame_hooks_array hooks{};
  display_frame frame;
  frame_make(&frame, nullptr, 0.0, &stats, &hooks);
  auto add = [&] { return display_frame_add_hooks(&frame, make_world, delete_world, define, commit); };
  null_worlds_left = 1;  // the first world comes back null and is asked for again
  EXPECT_EQ(add(), 0);
  EXPECT_EQ(add(), 1);
  display_frame_define(&frame, nullptr);
  display_frame_commit(&frame);
  EXPECT_EQ(journal, (strings{"d?", "d0", "c1", "c0"}));  // hook 0 got its world at the commit
  journal.clear();
  display_frame_define(&frame, nullptr);
  EXPECT_EQ(add(), 2);  // added while open: defines at once, commits with the frame
  display_frame_commit(&frame);
  EXPECT_EQ(journal, (strings{"d1", "d0", "d2", "c1", "c0", "c2"}));
  journal.clear();
  for (int32_t index : {-1, 3, 99}) display_frame_remove_hooks(&frame, index);  // outside: nothing
  display_frame_remove_hooks(&frame, 0);  // the first fails in place: indices never move
  EXPECT_EQ(add(), 3);
  display_frame_define(&frame, nullptr);
  display_frame_commit(&frame);
  EXPECT_EQ(journal, (strings{"x1", "d0", "d2", "d3", "c0", "c2", "c3"}));
  journal.clear();
  frame_hooks_delete_all(&hooks);
  EXPECT_EQ(journal, (strings{"x0", "x2", "x3"}));
  frame_delete(&frame);
}

// Full screen as preferred, frame by frame: a switch costs a frame; a pending one speaks from its fifth
// frame on and retries at the 64th; a late one withholds frames until that retry.
TEST(DisplaySwitch, FramesMessagesAndRetries) {
  display_switch s{};
  for (int frame = 0; frame < 100; ++frame) ASSERT_TRUE(display_switch_step(&s, frame % 2, frame % 2).call_display);
  display_switch_actions a = display_switch_step(&s, true, false);
  EXPECT_TRUE(a.toggle && !a.call_display && !a.say_waiting);
  EXPECT_TRUE(display_switch_step(&s, true, true).call_display);
  for (bool late : {false, true}) {
    s = {};
    std::vector<int> toggles, said, retries;
    for (int frame = 0; frame < 64; ++frame) {
      a = display_switch_step(&s, true, late && frame >= 7);  // never comes, or comes past the fifth frame
      ASSERT_FALSE(a.call_display) << frame;
      if (a.toggle) toggles.push_back(frame);
      if (a.say_waiting) said.push_back(a.waiting_count - frame);
      if (a.retry) retries.push_back(frame);
    }
    EXPECT_EQ(toggles, std::vector<int>{0});
    EXPECT_EQ(said, std::vector<int>(59, 0));  // frames 5 to 63, each with its count
    EXPECT_EQ(retries, std::vector<int>{63});
  }
  EXPECT_TRUE(display_switch_step(&s, true, false).toggle);  // the late retry toggled away: a fresh switch
  EXPECT_TRUE(display_switch_step(&s, true, true).call_display);
}
