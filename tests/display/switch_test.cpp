// Following the full-screen preference frame by frame: when the program gets frames, messages, retries.
#include <gtest/gtest.h>

#include "library/arch/opengl/display-glut.hpp"

TEST(DisplaySwitch, MatchingPreferenceHandsOutEveryFrame) {
  display_switch s{};
  for (int frame = 0; frame < 200; ++frame) {
    display_switch_actions a = display_switch_step(&s, frame % 2 == 0, frame % 2 == 0);
    ASSERT_TRUE(a.call_display);
    ASSERT_FALSE(a.toggle || a.say_waiting || a.retry);
  }
}

TEST(DisplaySwitch, ASwitchThatTakesEffectCostsOneFrame) {
  display_switch s{};
  display_switch_actions a = display_switch_step(&s, true, false);  // Alt+Return in a window
  EXPECT_TRUE(a.toggle);
  EXPECT_FALSE(a.call_display);
  EXPECT_FALSE(a.say_waiting);  // the first pending frames are withheld silently
  a = display_switch_step(&s, true, true);  // game mode came up
  EXPECT_TRUE(a.call_display);
  EXPECT_FALSE(a.toggle);
}

TEST(DisplaySwitch, APendingSwitchSpeaksFromItsFifthFrameAndRetriesEvery64) {
  display_switch s{};
  int toggles = 0, said = 0, retries = 0, first_said_at = -1;
  for (int frame = 0; frame < 64; ++frame) {
    display_switch_actions a = display_switch_step(&s, true, false);  // game mode never comes
    ASSERT_FALSE(a.call_display) << frame;
    toggles += a.toggle;
    if (a.say_waiting && first_said_at < 0) first_said_at = frame;
    if (a.say_waiting) {
      EXPECT_EQ(a.waiting_count, frame);
    }
    said += a.say_waiting;
    retries += a.retry;
  }
  EXPECT_EQ(toggles, 1);  // once at the start; the pending state does not restart it
  EXPECT_EQ(first_said_at, 5);
  EXPECT_EQ(said, 59);
  EXPECT_EQ(retries, 1);  // the 64th pending frame
}

TEST(DisplaySwitch, ALateSwitchWithholdsFramesUntilTheRetryStartsAFreshOne) {
  display_switch s{};
  for (int frame = 0; frame < 7; ++frame) display_switch_step(&s, true, false);
  // The switch finally took effect, but the count is past five: frames stay withheld, with messages.
  display_switch_actions a = display_switch_step(&s, true, true);
  EXPECT_FALSE(a.call_display);
  EXPECT_TRUE(a.say_waiting);
  int frame = 8;
  for (; !a.retry; ++frame) a = display_switch_step(&s, true, true);
  EXPECT_EQ(frame, 64);
  a = display_switch_step(&s, true, false);  // the retry toggled away: a new switch at count 0
  EXPECT_TRUE(a.toggle);
  EXPECT_FALSE(a.say_waiting);
  a = display_switch_step(&s, true, true);  // and back
  EXPECT_TRUE(a.call_display);
}
