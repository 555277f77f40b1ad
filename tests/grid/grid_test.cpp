// The grid record's frames without a network: what counts as a press, the swap put off under a writer,
// and that nothing outside the 8 x 8 grid is ever written.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "apps/kelvarin/monome.hpp"

TEST(GridFrames, PressesCountedInsideTheGridOnlyAndTheSwapPutOffUnderAWriter) {
  auto m = std::make_unique<monome>();  // never made: no address, no OSC server
  monome_accept_press(m.get(), 1, 2, 1);
  monome_accept_press(m.get(), 1, 2, 0);   // released within the frame: still a press
  monome_accept_press(m.get(), 7, 7, -1);  // any other state counts as a press
  monome before;
  std::memcpy(&before, m.get(), sizeof before);
  const int32_t bad[][2] = {{8, 0}, {0, 8}, {-1, 0}, {0, -1}, {2147483647, 0}, {0, -2147483647 - 1}, {-9, 64}};
  for (const auto& xy : bad) EXPECT_EQ(monome_accept_press(m.get(), xy[0], xy[1], 1), 0);
  for (const auto& xy : bad) monome_set_led(m.get(), xy[1], xy[0], 1);
  EXPECT_EQ(std::memcmp(&before, m.get(), sizeof before), 0);
  monome_commit(m.get());
  const int32_t shown[][3] = {{2, 1, -1}, {7, 7, -1}, {8, 0, 0}, {0, -1, 0}};
  for (auto& s : shown) EXPECT_EQ(monome_button_down(m.get(), s[0], s[1]), s[2]) << s[0] << "," << s[1];
  monome_commit(m.get());
  // A commit while the OSC thread is inside the press handler puts the swap off; nothing is lost.
  monome_accept_press(m.get(), 1, 1, 1);
  monome_set_led(m.get(), 0, 0, 1);
  int32_t front = m->front & 1;
  m->front += 2;
  monome_commit(m.get());
  EXPECT_EQ(m->front & 1, front);
  EXPECT_EQ(monome_button_down(m.get(), 2, 1), 0) << "the front half is still forgotten";
  EXPECT_EQ(m->halves[front].led[0], 1);  // the front remembers what was just sent
  m->front -= 2;
  monome_commit(m.get());
  EXPECT_EQ(monome_button_down(m.get(), 1, 1), -1);
  monome_delete(m.get());  // never made: harmless
}
