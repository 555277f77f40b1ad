// Presses hammered in through the OSC server, on its own thread, while the panel thread
// runs frames and commits: no press is lost, none counted twice, none split between the halves, and
// ThreadSanitizer stays quiet.
#include <gtest/gtest.h>
#include <lo/lo.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "apps/kelvarin/monome.hpp"

namespace {
using tally = std::array<int64_t, monome_cells>;

// One panel frame: reads every button, checks that press and down agree for each cell (a press is never
// split), adds what it saw to `seen`, sets a few LEDs and commits; returns the presses it saw.
int64_t panel_frame(monome* m, tally& seen, int frame) {
  int64_t total = 0;
  const monome_half& front = m->halves[std::atomic_ref<int32_t>(m->front).load() & 1];
  for (int32_t cell = 0; cell < monome_cells; ++cell) {
    int32_t down = monome_button_down(m, cell / 8, cell % 8);
    EXPECT_EQ(std::atomic_ref<const int32_t>(front.press[cell]).load(), -down) << "cell " << cell;
    seen[size_t(cell)] -= down;
    total -= down;
  }
  for (int32_t s = 0; s < 8; ++s) monome_set_led(m, 0, s, (frame / 8) % 8 == s);
  monome_commit(m);
  return total;
}

}  // namespace

// Each press goes out at most 32 ahead of what the panel has seen (UDP loses nothing below what the socket
// buffers hold); every press must be seen once.
TEST(GridThreads, PressesFromTheOscThreadAreCountedOnceEach) {
  auto m = std::make_unique<monome>();
  monome_make(m.get(), "/box");
  lo_address to = lo_address_new(nullptr, monome_server_port);
  const int presses = 4000;
  tally sent{}, seen{};
  std::atomic<int64_t> seen_total{0};
  std::thread sender([&] {
    for (int i = 0; i < presses; ++i) {
      while (i - seen_total.load() > 32) std::this_thread::yield();
      int32_t cell = int32_t((i * 11) % monome_cells);
      lo_send(to, "/box/press", "iii", int(cell % 8), int(cell / 8), 1);
      lo_send(to, "/box/press", "iii", int(cell % 8), int(cell / 8), 0);
      ++sent[size_t(cell)];
    }
  });
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  int frame = 0;
  while (seen_total.load() < presses && std::chrono::steady_clock::now() < end) {
    seen_total.fetch_add(panel_frame(m.get(), seen, frame++));
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  sender.join();
  for (int i = 0; i < 3; ++i) seen_total.fetch_add(panel_frame(m.get(), seen, frame++));
  EXPECT_EQ(seen_total.load(), presses);
  EXPECT_EQ(seen, sent);
  lo_address_free(to);
  monome_delete(m.get());
}
