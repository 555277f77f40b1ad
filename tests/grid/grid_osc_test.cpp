// The grid link against real OSC peers: liblo servers in this process stand in for the LED receiver on
// port 8880, for serialosc on 12002 and for its grids; liblo sends play the controller. The OSC server
// holds port 7770 for the whole process, so each test runs this program again, alone: one with a squatter
// on the port before any server started, one whose records serve all other checks.
#include <gtest/gtest.h>
#include <lo/lo.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "apps/kelvarin/monome.hpp"
#include "tests/support/servers.hpp"

namespace {
struct device {
  std::string id, type;
  int port;
};

// An OSC port that writes down every message as "path types arguments"; on 12002 it is serialosc,
// answering "/serialosc/list" with the devices plugged in.
class osc_port {
 public:
  explicit osc_port(const char* port) : server_(lo_server_thread_new(port, nullptr)) {
    lo_server_thread_add_method(server_, nullptr, nullptr, &osc_port::heard, this);
    lo_server_thread_start(server_);
  }
  ~osc_port() { lo_server_thread_free(server_); }
  void plug(const std::vector<device>& now) {
    std::lock_guard<std::mutex> hold(lock_);
    devices_ = now;
  }
  std::vector<std::string> log(const std::string& prefix = "/") const {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::string> out;
    for (const std::string& m : log_)
      if (m.compare(0, prefix.size(), prefix) == 0) out.push_back(m);
    return out;
  }
  size_t count(const std::string& message) const {
    std::vector<std::string> all = log(message);
    return size_t(std::count(all.begin(), all.end(), message));
  }
  bool wait_for(const std::string& message, size_t times = 1) const {
    for (int i = 0; i < 1000 && count(message) < times; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return count(message) >= times;
  }

 private:
  static int heard(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* self) {
    auto* port = static_cast<osc_port*>(self);
    std::string text = std::string(path) + " " + types;
    for (int i = 0; i < argc; ++i)
      text += " " + (types[i] == 's' ? std::string(&argv[i]->s) : types[i] == 'i' ? std::to_string(argv[i]->i) : "?");
    std::lock_guard<std::mutex> hold(port->lock_);
    port->log_.push_back(text);
    if (std::string(path) != "/serialosc/list") return 0;
    lo_address to = lo_address_new(&argv[0]->s, std::to_string(argv[1]->i).c_str());
    for (const device& d : port->devices_) lo_send(to, "/serialosc/device", "ssi", d.id.c_str(), d.type.c_str(), d.port);
    lo_address_free(to);
    return 0;
  }
  lo_server_thread server_;
  mutable std::mutex lock_;
  std::vector<std::string> log_;
  std::vector<device> devices_;
};

// Runs one test of this program in a process of its own, where the OSC server starts afresh (or, with the
// port taken, never); returns what it printed, the OSC handlers' lines among it.
std::string run_alone(const std::string& test) {
  int status = -1;
  std::string out = run_command("KV_GRID_ALONE=1 /proc/" + std::to_string(getpid()) + "/exe --gtest_filter='GridOsc." +
                                test + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
  return out;
}
int count(const std::string& text, const std::string& line) {
  int n = 0;
  for (size_t at = text.find(line + "\n"); at != std::string::npos; at = text.find(line + "\n", at + 1)) ++n;
  return n;
}

lo_address instrument = lo_address_new(nullptr, monome_server_port);
}  // namespace

// Another program holds UDP port 7770: the instrument says so once, gets no grid input, still sends LEDs.
TEST(GridOsc, WithThePortTakenItSaysSoOnceAndStillSendsLeds) {
  if (!std::getenv("KV_GRID_ALONE")) {
    EXPECT_EQ(count(run_alone("WithThePortTaken*"), "grid input off: UDP port 7770 is taken; grid LEDs are still sent"), 1);
    return;
  }
  osc_port squatter(monome_server_port), leds(monome_led_port);
  monome first, second;
  EXPECT_EQ(monome_make(&first, "/box"), 1);
  EXPECT_EQ(monome_make(&second, "/kv/other"), 1);
  lo_send(instrument, "/box/press", "iii", 3, 0, 1);
  EXPECT_TRUE(squatter.wait_for("/box/press iii 3 0 1"));  // the press went to the other program
  monome_set_led(&first, 0, 3, 1);
  monome_commit(&first);
  EXPECT_TRUE(leds.wait_for("/box/led iii 3 0 1"));
  EXPECT_EQ(leds.log("/box/led").size(), 65u);  // 64 off at make, then the one change
  monome_commit(&first);
  EXPECT_EQ(monome_button_down(&first, 0, 3), 0);
  monome_delete(&first);
  monome_delete(&second);
}

// A grid claimed through serialosc and played from both sides; LEDs go out as they change, presses show
// in the frame after them, and nothing the peers send can write outside the grid.
TEST(GridOsc, PressesLedsAndAGridClaimedThroughSerialosc) {
  if (!std::getenv("KV_GRID_ALONE")) {
    std::string out = run_alone("PressesLeds*");
    for (const char* line : {"received unknown press message on [/box/press with types ii]",
                             "received unknown press message on [/box/press with types fff]",
                             "received press outside the grid on [/box/press with x 8, y 0]",
                             "received press outside the grid on [/box/grid/key with x 2147483647, y -2147483648]",
                             "received unknown tilt message on [/box/tilt]"})
      EXPECT_EQ(count(out, line), 1) << line;
    return;
  }
  osc_port daemon(serialosc_port), grid_a("14501"), grid_b("14502"), leds(monome_led_port);
  daemon.plug({{"m1000009", "monome arc 4", 14509}, {"m1000001", "monome 64", 14501}});
  auto grid = std::make_unique<monome>(), sync = std::make_unique<monome>();
  monome_make(grid.get(), "/box");
  monome_make(sync.get(), "/kv/sync");  // a second prefix: a press to it tells that earlier ones arrived
  EXPECT_TRUE(daemon.wait_for("/serialosc/list si localhost 7770"));
  EXPECT_TRUE(daemon.wait_for("/serialosc/notify si localhost 7770"));
  for (const char* claim : {"/sys/host s localhost", "/sys/port i 7770", "/sys/prefix s /box"})
    EXPECT_TRUE(grid_a.wait_for(claim)) << claim;
  ASSERT_TRUE(leds.wait_for("/kv/sync/led iii 7 7 0"));
  std::vector<std::string> made = leds.log("/box/");
  ASSERT_EQ(made.size(), 64u);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(made[size_t(i)], "/box/led iii " + std::to_string(i / 8) + " " + std::to_string(i % 8) + " 0");
  // Messages arrive in the order sent: once a press to the sync record shows, all sent before it were handled.
  auto handled = [&] {
    lo_send(instrument, "/kv/sync/press", "iii", 0, 0, 1);
    for (int i = 0; i < 500 && !monome_button_down(sync.get(), 0, 0); ++i) monome_commit(sync.get()), usleep(10000);
    ASSERT_NE(monome_button_down(sync.get(), 0, 0), 0);
    monome_commit(sync.get());
  };
  int32_t marks = 0;
  // A panel frame: the LEDs it sets, its commit, and the messages port 8880 got from it.
  auto frame = [&](std::vector<int32_t> lit) {
    for (int32_t cell = 0; cell < 64; ++cell) monome_set_led(grid.get(), cell / 8, cell % 8, 0);
    for (size_t i = 0; i < lit.size(); i += 2) monome_set_led(grid.get(), lit[i] / 8, lit[i] % 8, lit[i + 1]);
    size_t before = leds.log("/box/led").size();
    monome_commit(grid.get());
    monome_send(grid.get(), "/mark", ++marks, 0, 0);
    EXPECT_TRUE(leds.wait_for("/box/mark iii " + std::to_string(marks) + " 0 0"));
    std::vector<std::string> all = leds.log("/box/led");
    return std::vector<std::string>(all.begin() + long(before), all.end());
  };
  EXPECT_EQ(frame({2 * 8 + 5, 5}), (std::vector<std::string>{"/box/led iii 5 2 1"}));  // any value but 0 lights
  EXPECT_TRUE(grid_a.wait_for("/box/grid/led/set iii 5 2 1") && grid_a.wait_for("/box/grid/led/set iii 7 7 0"));
  EXPECT_EQ(grid_a.log("/box/grid/led/set").size(), 64u) << "a newly claimed grid gets every LED";
  EXPECT_EQ(frame({2 * 8 + 5, 5}), std::vector<std::string>{});
  EXPECT_EQ(frame({0, 1, 63, -3}), (std::vector<std::string>{"/box/led iii 0 0 1", "/box/led iii 5 2 0", "/box/led iii 7 7 1"}));
  EXPECT_TRUE(grid_a.wait_for("/box/grid/led/set iii 7 7 1"));
  // Presses by either name; a release alone is no press. Nothing shows before the commit, or after the next.
  const char* press[][4] = {{"/box/press", "3", "0", "1"}, {"/box/grid/key", "6", "2", "1"},
                            {"/box/press", "6", "2", "1"}, {"/box/grid/key", "4", "4", "0"}};
  for (auto& p : press) lo_send(instrument, p[0], "iii", atoi(p[1]), atoi(p[2]), atoi(p[3]));
  handled();
  EXPECT_EQ(monome_button_down(grid.get(), 0, 3), 0);
  frame({});
  const int32_t shown[][3] = {{0, 3, -1}, {2, 6, -2}, {4, 4, 0}, {3, 0, 0}};
  for (auto& s : shown) EXPECT_EQ(monome_button_down(grid.get(), s[0], s[1]), s[2]) << s[0] << "," << s[1];
  frame({});
  EXPECT_EQ(monome_button_down(grid.get(), 0, 3), 0);
  // Wrong type tags, presses outside the grid and late, repeated or mistyped serialosc answers print
  // their lines and change nothing: no press, no other grid claimed.
  monome before;
  std::memcpy(&before, grid.get(), sizeof before);
  lo_send(instrument, "/box/press", "ii", 3, 0);
  lo_send(instrument, "/box/press", "fff", 3.0f, 0.0f, 1.0f);
  lo_send(instrument, "/box/tilt", "ff", 0.5f, 0.25f);
  lo_send(instrument, "/box/tilt", "i", 3);
  lo_send(instrument, "/box/press", "iii", 8, 0, 1);
  lo_send(instrument, "/box/grid/key", "iii", 2147483647, -2147483647 - 1, 1);
  lo_send(instrument, "/serialosc/device", "iii", 1, 2, 3);
  lo_send(instrument, "/serialosc/add", "iii", 4, 5, 6);
  lo_send(instrument, "/serialosc/device", "ssi", "m1000001", "monome 64", 14501);
  lo_send(instrument, "/serialosc/device", "ssi", "m1000002", "monome 128", 14502);
  handled();
  EXPECT_EQ(std::memcmp(before.halves, grid->halves, sizeof before.halves), 0);
  EXPECT_EQ(grid_a.count("/sys/port i 7770"), 1u);
  EXPECT_EQ(grid_b.log().size(), 0u);
  // Unplugged: the grid gets nothing more, the LEDs on 8880 go on; another grid plugged in is claimed
  // and gets every LED.
  daemon.plug({});
  lo_send(instrument, "/serialosc/remove", "s", "m1000001");
  EXPECT_TRUE(daemon.wait_for("/serialosc/notify si localhost 7770", 2)) << "asks to hear of the next change";
  lo_send(instrument, "/serialosc/device", "ssi", "m1000001", "monome 64", 14501);  // a late answer
  handled();
  size_t heard_by_a = grid_a.log().size();
  EXPECT_EQ(frame({8, 1}), std::vector<std::string>{"/box/led iii 0 1 1"});
  daemon.plug({{"m1000002", "monome 128", 14502}});
  lo_send(instrument, "/serialosc/add", "s", "m1000002");
  EXPECT_TRUE(grid_b.wait_for("/sys/prefix s /box"));
  frame({8, 1});
  EXPECT_TRUE(grid_b.wait_for("/box/grid/led/set iii 0 1 1") && grid_b.wait_for("/box/grid/led/set iii 7 7 0"));
  EXPECT_EQ(grid_b.log("/box/grid/led/set").size(), 64u);
  EXPECT_EQ(grid_a.log().size(), heard_by_a);
  // A deleted record ignores its presses (no freed memory touched) and its prefix can be made again.
  auto gone = std::make_unique<monome>();
  monome_make(gone.get(), "/kv/again");
  monome_delete(gone.get());
  gone.reset();
  lo_send(instrument, "/kv/again/press", "iii", 2, 3, 1);
  handled();
  monome again;
  monome_make(&again, "/kv/again");
  lo_send(instrument, "/kv/again/press", "iii", 2, 3, 1);
  handled();
  monome_commit(&again);
  EXPECT_EQ(monome_button_down(&again, 3, 2), -1);
  monome_delete(&again);
  monome_delete(grid.get());
  monome_delete(sync.get());
}
