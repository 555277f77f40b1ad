// A grid plugged in through serialosc, played on the editor: a stand-in serialosc daemon on port 12002 and
// stand-in grids on ports of their own, written here with liblo; the LEDs on port 8880 as before.
#include <gtest/gtest.h>
#include <lo/lo.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/acceptance/observe.hpp"
#include "tests/support/servers.hpp"

namespace {

// An OSC port that writes down every message it gets as "path types arguments".
class osc_port {
 public:
  explicit osc_port(const std::string& port) : server_(lo_server_thread_new(port.c_str(), nullptr)) {
    if (server_) lo_server_thread_add_method(server_, nullptr, nullptr, &osc_port::heard, this);
    if (server_) lo_server_thread_start(server_);
  }
  virtual ~osc_port() {
    if (server_) lo_server_thread_free(server_);
  }
  bool ready() const { return server_ != nullptr; }
  size_t count(const std::string& message) const {
    std::lock_guard<std::mutex> hold(lock_);
    size_t n = 0;
    for (const std::string& m : log_) n += m == message;
    return n;
  }
  size_t size() const {
    std::lock_guard<std::mutex> hold(lock_);
    return log_.size();
  }
  bool wait_for(const std::string& message, size_t times = 1) const {
    for (int i = 0; i < 1000 && count(message) < times; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return count(message) >= times;
  }

 protected:
  virtual void answer(const char*, lo_arg**) {}

 private:
  static int heard(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void* self) {
    auto* port = static_cast<osc_port*>(self);
    std::string text = std::string(path) + " " + types;
    for (int i = 0; i < argc; ++i)
      text += " " + (types[i] == 's' ? std::string(&argv[i]->s) : types[i] == 'i' ? std::to_string(argv[i]->i) : "?");
    {
      std::lock_guard<std::mutex> hold(port->lock_);
      port->log_.push_back(text);
    }
    port->answer(path, argv);
    return 0;
  }
  lo_server_thread server_;
  mutable std::mutex lock_;
  std::vector<std::string> log_;
};

// serialosc as far as the instrument sees it: lists its devices to whoever asks.
class stand_in_daemon : public osc_port {
 public:
  stand_in_daemon() : osc_port("12002") {}
  struct device {
    std::string id, type;
    int port;
  };
  void plug(const std::vector<device>& now) {
    std::lock_guard<std::mutex> hold(devices_lock_);
    devices_ = now;
  }
  void answer(const char* path, lo_arg** argv) override {
    if (std::string(path) != "/serialosc/list") return;
    lo_address to = lo_address_new(&argv[0]->s, std::to_string(argv[1]->i).c_str());
    std::lock_guard<std::mutex> hold(devices_lock_);
    for (const device& d : devices_) lo_send(to, "/serialosc/device", "ssi", d.id.c_str(), d.type.c_str(), d.port);
    lo_address_free(to);
  }

 private:
  std::mutex devices_lock_;
  std::vector<device> devices_;
};

void send_to_instrument(const char* path, int x, int y, int state) {
  lo_address to = lo_address_new(nullptr, "7770");
  lo_send(to, path, "iii", x, y, state);
  lo_address_free(to);
}

const std::string claim[] = {"/sys/host s localhost", "/sys/port i 7770", "/sys/prefix s /box"};

}  // namespace

TEST(Serialosc, AGridIsClaimedPlayedAndLetGoWhilePressesAndLedsOnTheOldPortsStayAsTheyWere) {
  stand_in_daemon daemon;
  osc_port grid_a("14501"), grid_b("14502"), leds("8880");
  ASSERT_TRUE(daemon.ready() && grid_a.ready() && grid_b.ready() && leds.ready());
  daemon.plug({{"m1000009", "monome arc 4", 14509}, {"m1000001", "monome 64", 14501}});
  xvfb_display display(1024, 768);
  ASSERT_TRUE(display.ready());
  scratch_resources folder;
  child_process editor({"env", "KELVARIN_RESOURCES=" + folder.path(), "JACK_NO_START_SERVER=1",
                        "JACK_DEFAULT_SERVER=kv-none", program("kelvarin-editor")});

  // At start: the device list and notifications are asked for, the first grid (not the arc) is claimed
  // and shown the panel's LEDs (slot 0 lit).
  EXPECT_TRUE(daemon.wait_for("/serialosc/list si localhost 7770"));
  EXPECT_TRUE(daemon.wait_for("/serialosc/notify si localhost 7770"));
  for (const std::string& m : claim) EXPECT_TRUE(grid_a.wait_for(m)) << m;
  EXPECT_TRUE(grid_a.wait_for("/box/grid/led/set iii 0 0 1"));

  // A key on the grid loads slot 3 exactly as a press does; the lit LED moves on the grid and on 8880.
  send_to_instrument("/box/grid/key", 3, 0, 1);
  send_to_instrument("/box/grid/key", 3, 0, 0);
  EXPECT_TRUE(grid_a.wait_for("/box/grid/led/set iii 3 0 1"));
  EXPECT_TRUE(grid_a.wait_for("/box/grid/led/set iii 0 0 0"));
  EXPECT_TRUE(leds.wait_for("/box/led iii 3 0 1"));
  send_to_instrument("/box/press", 5, 0, 1);
  EXPECT_TRUE(leds.wait_for("/box/led iii 5 0 1"));
  EXPECT_TRUE(grid_a.wait_for("/box/grid/led/set iii 5 0 1"));

  // Answers late, twice or with other type tags claim nothing more.
  send_to_instrument("/serialosc/device", 1, 2, 3);
  send_to_instrument("/serialosc/add", 4, 5, 6);
  lo_address to = lo_address_new(nullptr, "7770");
  lo_send(to, "/serialosc/device", "ssi", "m1000001", "monome 64", 14501);
  lo_send(to, "/serialosc/device", "ssi", "m1000002", "monome 128", 14502);
  send_to_instrument("/box/press", 6, 0, 1);
  EXPECT_TRUE(grid_a.wait_for("/box/grid/led/set iii 6 0 1"));
  EXPECT_EQ(grid_a.count("/sys/port i 7770"), 1u);
  EXPECT_EQ(grid_b.size(), 0u);

  // Unplugged: the grid gets nothing more, the LEDs on 8880 go on.
  daemon.plug({});
  lo_send(to, "/serialosc/remove", "s", "m1000001");
  EXPECT_TRUE(daemon.wait_for("/serialosc/notify si localhost 7770", 2)) << "asks to hear of the next change";
  size_t heard_by_a = grid_a.size();
  lo_send(to, "/serialosc/device", "ssi", "m1000001", "monome 64", 14501);  // a late answer
  send_to_instrument("/box/press", 2, 0, 1);
  EXPECT_TRUE(leds.wait_for("/box/led iii 6 0 0"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(grid_a.size(), heard_by_a);

  // Another grid plugged in is claimed and shows the current slot; a 16 x 8 grid plays on its left half.
  daemon.plug({{"m1000002", "monome 128", 14502}});
  lo_send(to, "/serialosc/add", "s", "m1000002");
  lo_address_free(to);
  for (const std::string& m : claim) EXPECT_TRUE(grid_b.wait_for(m)) << m;
  EXPECT_TRUE(grid_b.wait_for("/box/grid/led/set iii 2 0 1"));
  send_to_instrument("/box/grid/key", 12, 0, 1);
  EXPECT_TRUE(editor.wait_for_output("received press outside the grid on [/box/grid/key with x 12, y 0]", 10));
  send_to_instrument("/box/grid/key", 4, 0, 1);
  EXPECT_TRUE(grid_b.wait_for("/box/grid/led/set iii 4 0 1"));
  EXPECT_EQ(grid_a.size(), heard_by_a);
  EXPECT_EQ(editor.output().find("OSC server error"), std::string::npos) << editor.output();
  editor.stop();
}
