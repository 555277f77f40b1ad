// Frame logic of the grid record without a network: when presses show, what a commit forgets, and
// that nothing outside the 8 x 8 grid is ever written.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "apps/kelvarin/monome.hpp"

namespace {
// A record that was never made: no address, so commits send nothing, and no OSC server.
std::unique_ptr<monome> fresh() { return std::make_unique<monome>(); }

int32_t down_cells(const monome& m) {
  int32_t n = 0;
  for (int32_t cell = 0; cell < 64; ++cell) n += monome_button_down(&m, cell / 8, cell % 8) != 0;
  return n;
}
}  // namespace

// x is the column, y the row. A press shows for exactly the frame after it arrived; releases never
// cancel presses; a press during a shown frame waits for the next one.
TEST(GridFrames, PressesShowForExactlyTheFrameAfterTheyArrived) {
  auto m = fresh();
  monome_accept_press(m.get(), 3, 0, 1);
  EXPECT_EQ(monome_accept_press(m.get(), 1, 2, 1), 1);
  monome_accept_press(m.get(), 1, 2, 0);   // press and release within one frame
  monome_accept_press(m.get(), 4, 4, 1);
  monome_accept_press(m.get(), 4, 4, 1);   // two presses
  monome_accept_press(m.get(), 6, 7, 0);   // a release alone
  monome_accept_press(m.get(), 7, 7, -1);  // a foreign state value counts as one press
  EXPECT_EQ(down_cells(*m), 0);            // still collecting
  monome_commit(m.get());
  EXPECT_EQ(monome_button_down(m.get(), 0, 3), -1);
  EXPECT_EQ(monome_button_down(m.get(), 3, 0), 0);  // row and column not swapped
  EXPECT_EQ(monome_button_down(m.get(), 2, 1), -1);
  EXPECT_EQ(monome_button_down(m.get(), 4, 4), -2);
  EXPECT_EQ(monome_button_down(m.get(), 7, 6), 0);
  EXPECT_EQ(monome_button_down(m.get(), 7, 7), -1);
  EXPECT_EQ(down_cells(*m), 4);
  const monome_half& front = m->halves[m->front & 1];
  for (int32_t cell = 0; cell < monome_cells; ++cell) EXPECT_EQ(front.press[cell], -front.down[cell]);
  monome_accept_press(m.get(), 5, 5, 1);  // arrives while the others are shown
  EXPECT_EQ(monome_button_down(m.get(), 5, 5), 0);
  monome_commit(m.get());
  EXPECT_EQ(monome_button_down(m.get(), 5, 5), -1);
  EXPECT_EQ(down_cells(*m), 1);
  monome_commit(m.get());
  EXPECT_EQ(down_cells(*m), 0);
  monome_commit(m.get());
  EXPECT_EQ(down_cells(*m), 0);  // the old half came back zeroed
}

TEST(GridFrames, PressesOutsideTheGridChangeNothing) {
  auto m = fresh();
  monome_accept_press(m.get(), 2, 2, 1);
  monome_set_led(m.get(), 1, 1, 3);
  monome before;
  std::memcpy(&before, m.get(), sizeof before);
  const int32_t bad[][2] = {{8, 0}, {0, 8}, {-1, 0}, {0, -1}, {2147483647, 0}, {0, -2147483647 - 1}, {-9, 64}};
  for (const auto& xy : bad) EXPECT_EQ(monome_accept_press(m.get(), xy[0], xy[1], 1), 0);
  monome_set_led(m.get(), 8, 0, 1);
  monome_set_led(m.get(), -1, 3, 1);
  monome_set_led(m.get(), 0, 2147483647, 1);
  EXPECT_EQ(std::memcmp(&before, m.get(), sizeof before), 0);
  EXPECT_EQ(monome_button_down(m.get(), 8, 0), 0);
  EXPECT_EQ(monome_button_down(m.get(), -1, -1), 0);
  EXPECT_EQ(monome_button_down(m.get(), 0, -2147483647 - 1), 0);
}

TEST(GridFrames, ACommitWhileAPressIsBeingWrittenPutsTheSwapOff) {
  auto m = fresh();
  monome_accept_press(m.get(), 1, 1, 1);
  monome_set_led(m.get(), 0, 0, 1);
  int32_t front_before = m->front & 1;
  m->front += 2;  // the OSC thread is inside the press handler at the moment of the commit
  monome_commit(m.get());
  EXPECT_EQ(m->front & 1, front_before);            // no swap under a writer
  EXPECT_EQ(monome_button_down(m.get(), 1, 1), 0);  // not shown yet, not lost either
  EXPECT_EQ(m->halves[front_before].led[0], 1);     // the front remembers what was just sent
  m->front -= 2;  // the handler leaves
  monome_set_led(m.get(), 0, 0, 1);
  monome_commit(m.get());
  EXPECT_EQ(monome_button_down(m.get(), 1, 1), -1);
  EXPECT_NE(m->front & 1, front_before);
  monome_commit(m.get());
  EXPECT_EQ(monome_button_down(m.get(), 1, 1), 0);
}

TEST(GridFrames, DeletingARecordThatWasNeverMadeIsHarmless) {
  auto m = fresh();
  monome_send(m.get(), "/led", 0, 0, 1);  // no address: nothing to send to
  monome_delete(m.get());
  EXPECT_EQ(m->address, nullptr);
  EXPECT_EQ(array_length(m->prefix), 0);
}
