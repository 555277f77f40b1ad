// The grid link against real OSC peers: oscsend plays the controller, oscdump on port 8880 shows the
// LEDs. The OSC server holds port 7770 for the whole process, so one record made here serves all
// cases, which run one after the other.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "apps/kelvarin/monome.hpp"
#include "tests/grid/osc_peers.hpp"

namespace {

class GridOsc : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dump = new osc_dump(monome_led_port);
    grid = new monome();
    sync = new monome();
    if (dump->ready()) {
      monome_make(grid, "/box");
      monome_make(sync, "/kv/sync");  // a second prefix, used to know that earlier presses arrived
    }
    dump->wait_for("/kv/sync/led iii 7 7 0");
    at_make = with_prefix(dump->messages(), "/box/");
  }
  static void TearDownTestSuite() {
    monome_delete(grid);
    monome_delete(sync);
    delete grid;
    delete sync;
    delete dump;
  }
  void SetUp() override {
    ASSERT_TRUE(dump->ready());
    settle();
  }

  // Messages arrive in the order they were sent: once a press to the sync record shows, every
  // message sent before it has been handled.
  static void handled() {
    ASSERT_EQ(osc_send(monome_server_port, "/kv/sync/press", "iii", "0 0 1"), 0);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (load_sync_back() == 0 && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_NE(load_sync_back(), 0);
    monome_commit(sync);
    monome_commit(sync);
  }
  static int32_t load_sync_back() {
    int32_t back = 1 - (std::atomic_ref<int32_t>(sync->front).load() & 1);
    return std::atomic_ref<int32_t>(sync->halves[back].down[0]).load();
  }
  static void press(int x, int y, int state) {
    ASSERT_EQ(osc_send(monome_server_port, "/box/press", "iii",
                       std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(state)), 0);
  }
  // Runs a panel frame that sets every LED from `leds` and returns the LED messages its commit sent.
  static std::vector<std::string> frame(const std::array<int32_t, 64>& leds) {
    monome_define(grid);
    for (int32_t cell = 0; cell < 64; ++cell) monome_set_led(grid, cell / 8, cell % 8, leds[cell]);
    size_t before = with_prefix(dump->messages(), "/box/led").size();
    monome_commit(grid);
    std::string mark = "/box/mark iii " + std::to_string(++marks) + " 0 0";
    monome_send(grid, "/mark", marks, 0, 0);
    EXPECT_TRUE(dump->wait_for(mark));
    std::vector<std::string> all = with_prefix(dump->messages(), "/box/led");
    return {all.begin() + long(before), all.end()};
  }
  // Two empty frames with the LEDs as they are: no press is left in either half.
  static void settle() {
    frame(leds_now);
    frame(leds_now);
  }

  static inline osc_dump* dump = nullptr;
  static inline monome* grid = nullptr;
  static inline monome* sync = nullptr;
  static inline std::vector<std::string> at_make;
  static inline std::array<int32_t, 64> leds_now{};
  static inline int marks = 0;
};

}  // namespace

TEST_F(GridOsc, MakingTheRecordSwitchesEveryLedOffColumnByColumn) {
  ASSERT_EQ(at_make.size(), 64u);
  for (int x = 0, i = 0; x < 8; ++x)
    for (int y = 0; y < 8; ++y, ++i)
      EXPECT_EQ(at_make[size_t(i)], "/box/led iii " + std::to_string(x) + " " + std::to_string(y) + " 0");
}

TEST_F(GridOsc, CommitsSendExactlyTheLedsThatChanged) {
  std::array<int32_t, 64> leds{};
  leds[2 * 8 + 5] = 5;  // row 2, column 5: any non-zero value lights the LED
  EXPECT_EQ(frame(leds), (std::vector<std::string>{"/box/led iii 5 2 1"}));
  EXPECT_EQ(frame(leds), std::vector<std::string>{});  // the same value again: nothing
  leds[2 * 8 + 5] = 0;
  leds[0] = 1;
  leds[63] = -3;
  EXPECT_EQ(frame(leds), (std::vector<std::string>{"/box/led iii 0 0 1", "/box/led iii 5 2 0",
                                                   "/box/led iii 7 7 1"}));
  EXPECT_EQ(frame(leds), std::vector<std::string>{});
  leds_now = leds;
  leds = {};
  EXPECT_EQ(frame(leds), (std::vector<std::string>{"/box/led iii 0 0 0", "/box/led iii 7 7 0"}));
  leds_now = leds;
}

TEST_F(GridOsc, PressesShowInTheFrameAfterTheyArriveAndGoAfterIt) {
  press(3, 0, 1);
  press(3, 0, 0);  // released within the same frame: still counts
  press(6, 2, 1);
  press(6, 2, 1);  // two presses
  press(1, 7, 1);
  press(4, 4, 0);  // a release alone
  handled();
  EXPECT_EQ(monome_button_down(grid, 0, 3), 0);  // nothing before the commit
  frame(leds_now);
  EXPECT_EQ(monome_button_down(grid, 0, 3), -1);
  EXPECT_EQ(monome_button_down(grid, 2, 6), -2);
  EXPECT_EQ(monome_button_down(grid, 7, 1), -1);
  EXPECT_EQ(monome_button_down(grid, 4, 4), 0);
  EXPECT_EQ(monome_button_down(grid, 3, 0), 0);
  press(5, 5, 1);  // arrives while the others are shown
  handled();
  EXPECT_EQ(monome_button_down(grid, 5, 5), 0);
  frame(leds_now);
  EXPECT_EQ(monome_button_down(grid, 0, 3), 0);
  EXPECT_EQ(monome_button_down(grid, 2, 6), 0);
  EXPECT_EQ(monome_button_down(grid, 5, 5), -1);
  frame(leds_now);
  EXPECT_EQ(monome_button_down(grid, 5, 5), 0);
}

// Wrong type tags and presses outside the grid print their lines and change nothing.
TEST_F(GridOsc, BadPressesArePrintedAndChangeNothing) {
  monome before;
  std::memcpy(&before, grid, sizeof before);
  stdout_capture out;
  const char* sent[][3] = {{"/box/press", "ii", "3 0"},       {"/box/press", "fff", "3 0 1"},
                           {"/box/press", "iiii", "3 0 1 1"}, {"/box/tilt", "ff", "0.5 0.25"},
                           {"/box/tilt", "i", "3"},           {"/box/press", "iii", "8 0 1"},
                           {"/box/press", "iii", "0 -1 1"},   {"/box/press", "iii", "2147483647 -2147483648 1"}};
  for (const auto& m : sent) osc_send(monome_server_port, m[0], m[1], m[2]);
  handled();
  EXPECT_EQ(std::memcmp(before.halves, grid->halves, sizeof before.halves), 0);
  std::string text = out.text();
  for (const char* line : {"received unknown press message on [/box/press with types ii]\n",
                           "received unknown press message on [/box/press with types fff]\n",
                           "received unknown press message on [/box/press with types iiii]\n",
                           "received unknown tilt message on [/box/tilt]\n",
                           "received press outside the grid on [/box/press with x 8, y 0]\n",
                           "received press outside the grid on [/box/press with x 0, y -1]\n",
                           "received press outside the grid on [/box/press with x 2147483647, y -2147483648]\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(text.find("unknown tilt message", text.find("unknown tilt message") + 1), std::string::npos);
  frame(leds_now);
  for (int32_t cell = 0; cell < 64; ++cell) EXPECT_EQ(monome_button_down(grid, cell / 8, cell % 8), 0);
}

TEST_F(GridOsc, ADeletedRecordIgnoresPressesAndItsPrefixCanBeMadeAgain) {
  auto gone = std::make_unique<monome>();
  monome_make(gone.get(), "/kv/again");
  monome_delete(gone.get());
  gone.reset();
  osc_send(monome_server_port, "/kv/again/press", "iii", "2 3 1");  // must not touch freed memory
  handled();
  monome again;
  monome_make(&again, "/kv/again");
  osc_send(monome_server_port, "/kv/again/press", "iii", "2 3 1");
  handled();
  monome_commit(&again);
  EXPECT_EQ(monome_button_down(&again, 3, 2), -1);
  monome_delete(&again);
}
