// The grid link against real OSC peers: oscsend plays the controller, oscdump on port 8880 shows the
// LEDs. The OSC server holds port 7770 for the whole process, so one record made here serves all checks;
// the taken-port case runs this program again with a squatter on the port before any server started.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "apps/kelvarin/monome.hpp"
#include "tests/grid/osc_peers.hpp"

namespace {
int count_of(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}
}  // namespace

// Another program holds UDP port 7770: the instrument says so once, gets no grid input, still sends LEDs.
// First in this program, so that its run of the program again starts before this one makes a server.
TEST(GridOsc, WithThePortTakenItSaysSoOnceAndStillSendsLeds) {
  if (!std::getenv("KV_GRID_PORT_TAKEN")) {
    int status = -1;
    std::string out = run_command("KV_GRID_PORT_TAKEN=1 /proc/" + std::to_string(getpid()) +
                                      "/exe --gtest_filter='GridOsc.WithThePortTaken*' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
    return;
  }
  osc_dump squatter(monome_server_port), leds(monome_led_port);
  ASSERT_TRUE(squatter.ready() && leds.ready());
  stdout_capture out;
  monome first, second;
  EXPECT_EQ(monome_make(&first, "/box"), 1);
  EXPECT_EQ(monome_make(&second, "/kv/other"), 1);
  EXPECT_EQ(count_of(out.text(), "grid input off: UDP port 7770 is taken; grid LEDs are still sent\n"), 1);
  EXPECT_EQ(count_of(out.text(), "OSC server error "), 1);
  ASSERT_EQ(osc_send(monome_server_port, "/box/press", "iii", "3 0 1"), 0);
  EXPECT_TRUE(squatter.wait_for("/box/press iii 3 0 1"));  // the press went to the other program
  monome_set_led(&first, 0, 3, 1);
  monome_commit(&first);
  monome_send(&first, "/mark", 1, 0, 0);
  ASSERT_TRUE(leds.wait_for("/box/mark iii 1 0 0"));
  std::vector<std::string> sent = leds.messages("/box/led");
  ASSERT_EQ(sent.size(), 65u);  // 64 off at make, then the one change
  EXPECT_EQ(sent.back(), "/box/led iii 3 0 1");
  monome_commit(&first);
  EXPECT_EQ(monome_button_down(&first, 0, 3), 0);
  monome_delete(&first);
  monome_delete(&second);
}

TEST(GridOsc, LedsGoOutAsTheyChangeAndPressesShowInTheFrameAfterThem) {
  if (std::getenv("KV_GRID_PORT_TAKEN")) GTEST_SKIP() << "the taken-port run";
  osc_dump dump(monome_led_port);
  ASSERT_TRUE(dump.ready());
  auto grid = std::make_unique<monome>(), sync = std::make_unique<monome>();
  monome_make(grid.get(), "/box");
  monome_make(sync.get(), "/kv/sync");  // a second prefix: a press to it tells that earlier ones arrived
  ASSERT_TRUE(dump.wait_for("/kv/sync/led iii 7 7 0"));
  std::vector<std::string> made = dump.messages("/box/");
  ASSERT_EQ(made.size(), 64u);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(made[size_t(i)], "/box/led iii " + std::to_string(i / 8) + " " + std::to_string(i % 8) + " 0");
  // Messages arrive in the order sent: once a press to the sync record shows, all sent before it were handled.
  auto handled = [&] {
    ASSERT_EQ(osc_send(monome_server_port, "/kv/sync/press", "iii", "0 0 1"), 0);
    for (int i = 0; i < 500; ++i) {
      monome_commit(sync.get());
      if (monome_button_down(sync.get(), 0, 0)) break;
      usleep(10000);
    }
    ASSERT_NE(monome_button_down(sync.get(), 0, 0), 0);
    monome_commit(sync.get());
  };
  int marks = 0;
  auto frame = [&](const std::array<int32_t, 64>& leds) {  // a panel frame: the LED messages its commit sent
    for (int32_t cell = 0; cell < 64; ++cell) monome_set_led(grid.get(), cell / 8, cell % 8, leds[size_t(cell)]);
    size_t before = dump.messages("/box/led").size();
    monome_commit(grid.get());
    monome_send(grid.get(), "/mark", ++marks, 0, 0);
    EXPECT_TRUE(dump.wait_for("/box/mark iii " + std::to_string(marks) + " 0 0"));
    std::vector<std::string> all = dump.messages("/box/led");
    return std::vector<std::string>(all.begin() + long(before), all.end());
  };
  std::array<int32_t, 64> leds{};
  leds[2 * 8 + 5] = 5;  // any value but 0 lights
  EXPECT_EQ(frame(leds), (std::vector<std::string>{"/box/led iii 5 2 1"}));
  EXPECT_EQ(frame(leds), std::vector<std::string>{});
  leds[2 * 8 + 5] = 0, leds[0] = 1, leds[63] = -3;
  EXPECT_EQ(frame(leds), (std::vector<std::string>{"/box/led iii 0 0 1", "/box/led iii 5 2 0", "/box/led iii 7 7 1"}));
  const char* presses[] = {"3 0 1", "3 0 0", "6 2 1", "6 2 1", "1 7 1", "4 4 0"};
  for (const char* p : presses) osc_send(monome_server_port, "/box/press", "iii", p);
  handled();
  EXPECT_EQ(monome_button_down(grid.get(), 0, 3), 0) << "nothing before the commit";
  frame(leds);
  const int32_t shown[][3] = {{0, 3, -1}, {2, 6, -2}, {7, 1, -1}, {4, 4, 0}, {3, 0, 0}};
  for (auto& s : shown) EXPECT_EQ(monome_button_down(grid.get(), s[0], s[1]), s[2]) << s[0] << "," << s[1];
  frame(leds);
  EXPECT_EQ(monome_button_down(grid.get(), 0, 3), 0) << "gone a frame later";
  // Wrong type tags and presses outside the grid print their lines and change nothing.
  monome before;
  std::memcpy(&before, grid.get(), sizeof before);
  stdout_capture out;
  const char* sent[][3] = {{"/box/press", "ii", "3 0"}, {"/box/press", "fff", "3 0 1"}, {"/box/tilt", "ff", "0.5 0.25"},
                           {"/box/tilt", "i", "3"},     {"/box/press", "iii", "8 0 1"}, {"/box/press", "iii", "2147483647 -2147483648 1"}};
  for (const auto& m : sent) osc_send(monome_server_port, m[0], m[1], m[2]);
  handled();
  EXPECT_EQ(std::memcmp(before.halves, grid->halves, sizeof before.halves), 0);
  std::string text = out.text();
  for (const char* line : {"received unknown press message on [/box/press with types ii]\n",
                           "received unknown press message on [/box/press with types fff]\n",
                           "received press outside the grid on [/box/press with x 8, y 0]\n",
                           "received press outside the grid on [/box/press with x 2147483647, y -2147483648]\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(count_of(text, "received unknown tilt message on [/box/tilt]\n"), 1);
  // A deleted record ignores its presses (no freed memory touched) and its prefix can be made again.
  auto gone = std::make_unique<monome>();
  monome_make(gone.get(), "/kv/again");
  monome_delete(gone.get());
  gone.reset();
  osc_send(monome_server_port, "/kv/again/press", "iii", "2 3 1");
  handled();
  monome again;
  monome_make(&again, "/kv/again");
  osc_send(monome_server_port, "/kv/again/press", "iii", "2 3 1");
  handled();
  monome_commit(&again);
  EXPECT_EQ(monome_button_down(&again, 3, 2), -1);
  monome_delete(&again);
  monome_delete(grid.get());
  monome_delete(sync.get());
}
