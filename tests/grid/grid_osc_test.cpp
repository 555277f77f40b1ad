// The grid link against real OSC peers: liblo servers in this process stand in for the LED receiver on
// port 8880, for serialosc on 12002 and for its grids; liblo sends play the controller.
#include <gtest/gtest.h>
#include <lo/lo.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "apps/kelvarin/monome.hpp"

namespace {
using device = std::tuple<std::string, std::string, int>;  // serial number, type, port

// An OSC port that writes down every message as "path types arguments"; on 12002 it is serialosc,
// answering "/serialosc/list" with the devices plugged in.
class osc_port {
 public:
  explicit osc_port(const char* port, std::vector<device> plugged = {})
      : server_(lo_server_thread_new(port, nullptr)), devices_(std::move(plugged)) {
    lo_server_thread_add_method(server_, nullptr, nullptr, &osc_port::heard, this);
    lo_server_thread_start(server_);
  }
  ~osc_port() { lo_server_thread_free(server_); }
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
  bool wait_for(const std::string& message) const {
    for (int i = 0; i < 1000 && count(message) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return count(message) > 0;
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
    for (const auto& [id, type, grid_port] : port->devices_)
      lo_send(to, "/serialosc/device", "ssi", id.c_str(), type.c_str(), grid_port);
    lo_address_free(to);
    return 0;
  }
  lo_server_thread server_;
  mutable std::mutex lock_;
  std::vector<std::string> log_;
  std::vector<device> devices_;
};

lo_address instrument = lo_address_new(nullptr, monome_server_port);
}  // namespace

// A grid claimed through serialosc and played from both sides; LEDs go out as they change, presses show
// in the frame after them, and nothing the peers send can write outside the grid or claim another grid.
TEST(GridOsc, PressesLedsAndAGridClaimedThroughSerialosc) {
  osc_port daemon(serialosc_port, {{"m1000009", "monome arc 4", 14509}, {"m1000001", "monome 64", 14501}});
  osc_port grid_a("14501"), grid_b("14502"), leds(monome_led_port);
  auto grid = std::make_unique<monome>(), sync = std::make_unique<monome>();
  monome_make(grid.get(), "/box");
  monome_make(sync.get(), "/kv/sync");  // a second prefix: a press to it tells that earlier ones arrived
  EXPECT_TRUE(daemon.wait_for("/serialosc/list si localhost 7770"));
  EXPECT_TRUE(daemon.wait_for("/serialosc/notify si localhost 7770"));
  for (const char* claim : {"/sys/host s localhost", "/sys/port i 7770", "/sys/prefix s /box"})
    EXPECT_TRUE(grid_a.wait_for(claim)) << claim;
  ASSERT_TRUE(leds.wait_for("/kv/sync/led iii 7 7 0"));
  EXPECT_EQ(leds.log("/box/led").size(), 64u) << "every LED off at the start";
  // Messages arrive in the order sent: once a press to the sync record shows, all sent before it were handled.
  auto handled = [&] {
    lo_send(instrument, "/kv/sync/press", "iii", 0, 0, 1);
    for (int i = 0; i < 500 && !monome_button_down(sync.get(), 0, 0); ++i) {
      monome_commit(sync.get());
      usleep(10000);
    }
    ASSERT_NE(monome_button_down(sync.get(), 0, 0), 0);
    monome_commit(sync.get());
  };
  // The panel's LED changes go out on its commit, any value but 0 lit, to port 8880 and the claimed grid.
  monome_set_led(grid.get(), 2, 5, 5);
  monome_set_led(grid.get(), 7, 7, -3);
  monome_commit(grid.get());
  for (const char* lit : {"/box/led iii 5 2 1", "/box/led iii 7 7 1"}) EXPECT_TRUE(leds.wait_for(lit)) << lit;
  EXPECT_TRUE(grid_a.wait_for("/box/grid/led/set iii 7 7 1") && grid_a.wait_for("/box/grid/led/set iii 5 2 1"));
  EXPECT_EQ(grid_a.log("/box/grid/led/set").size(), 64u) << "a newly claimed grid gets every LED";
  // Presses by either name; a release alone is no press. Nothing shows before the commit, or after the next.
  lo_send(instrument, "/box/press", "iii", 3, 0, 1);
  lo_send(instrument, "/box/grid/key", "iii", 6, 2, 1);
  lo_send(instrument, "/box/press", "iii", 6, 2, 1);
  lo_send(instrument, "/box/grid/key", "iii", 4, 4, 0);
  handled();
  EXPECT_EQ(monome_button_down(grid.get(), 0, 3), 0);
  monome_commit(grid.get());
  const int32_t shown[][3] = {{0, 3, -1}, {2, 6, -2}, {4, 4, 0}, {3, 0, 0}};
  for (auto& s : shown) EXPECT_EQ(monome_button_down(grid.get(), s[0], s[1]), s[2]) << s[0] << "," << s[1];
  monome_commit(grid.get());
  EXPECT_EQ(monome_button_down(grid.get(), 0, 3), 0);
  // Wrong type tags, a press outside the grid and late, repeated or mistyped serialosc answers change
  // nothing: no press, no other grid claimed.
  monome before;
  std::memcpy(&before, grid.get(), sizeof before);
  lo_send(instrument, "/box/press", "ii", 3, 0);
  lo_send(instrument, "/box/press", "fff", 3.0f, 0.0f, 1.0f);
  lo_send(instrument, "/box/grid/key", "iii", 2147483647, -2147483647 - 1, 1);
  lo_send(instrument, "/serialosc/device", "iii", 1, 2, 3);
  lo_send(instrument, "/serialosc/add", "iii", 4, 5, 6);
  lo_send(instrument, "/serialosc/device", "ssi", "m1000001", "monome 64", 14501);
  lo_send(instrument, "/serialosc/device", "ssi", "m1000002", "monome 128", 14502);
  handled();
  EXPECT_EQ(std::memcmp(before.halves, grid->halves, sizeof before.halves), 0);
  EXPECT_EQ(grid_a.count("/sys/port i 7770"), 1u);
  EXPECT_EQ(grid_b.log().size(), 0u);
  monome_delete(grid.get());
  monome_delete(sync.get());
}
