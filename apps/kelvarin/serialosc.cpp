// Finding and claiming a grid through serialosc: the device list, the notifications and the claim.
#include "apps/kelvarin/serialosc.hpp"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "toolset/atomics.hpp"

namespace {

constexpr const char* serialosc_host = "localhost";
// Removed devices remembered, so that a late list answer cannot claim a grid that has gone.
constexpr size_t removed_remembered = 16;

struct serialosc_state {
  int32_t armed = 0;    // published with release once the fields below are set; never cleared
  std::string prefix;   // fixed before `armed`
  int32_t reply_port = 0;
  // Server thread only.
  lo_address daemon = nullptr;  // made on first use
  bool claimed_p = false;
  std::string claimed_id;
  std::deque<std::string> removed;
  int32_t generation = 0;
  // Written by the server thread, read by the panel thread: (generation << 16) | port, port 0 for none.
  int32_t claim = 0;
};
serialosc_state state;

void private_ask(lo_address daemon, const char* what) {
  if (daemon) lo_send(daemon, what, "si", serialosc_host, int(state.reply_port));
}

// Server thread.
void private_ask(const char* what) {
  if (!state.daemon) state.daemon = lo_address_new(nullptr, serialosc_port);
  private_ask(state.daemon, what);
}

void private_publish(int32_t port) {
  state.generation = (state.generation + 1) & 0x7FFF;
  store_release(state.claim, (state.generation << 16) | port);
}

bool private_removed_p(const std::string& id) {
  for (const std::string& gone : state.removed)
    if (gone == id) return true;
  return false;
}

void private_forget_removal(const std::string& id) {
  for (auto it = state.removed.begin(); it != state.removed.end();)
    it = *it == id ? state.removed.erase(it) : it + 1;
}

// Only grids are claimed: serialosc also speaks for arcs, which have no keys.
void private_device(const std::string& id, const char* type, int32_t port) {
  if (state.claimed_p || private_removed_p(id) || std::strstr(type, "arc") || port <= 0 || port > 0xFFFF)
    return;
  lo_address device = lo_address_new(nullptr, std::to_string(port).c_str());
  if (!device) return;
  lo_send(device, "/sys/host", "s", serialosc_host);
  lo_send(device, "/sys/port", "i", int(state.reply_port));
  lo_send(device, "/sys/prefix", "s", state.prefix.c_str());
  lo_address_free(device);
  state.claimed_p = true;
  state.claimed_id = id;
  private_publish(port);
}

void private_added(const std::string& id) {
  private_forget_removal(id);
  if (!state.claimed_p) private_ask("/serialosc/list");
}

void private_removed(const std::string& id) {
  if (!private_removed_p(id)) state.removed.push_back(id);
  if (state.removed.size() > removed_remembered) state.removed.pop_front();
  if (!state.claimed_p || id != state.claimed_id) return;
  state.claimed_p = false;
  private_publish(0);
  private_ask("/serialosc/list");  // another grid may still be plugged in
}

// OSC arguments sit on 4-byte boundaries while the argument union asks for 8.
int32_t private_int(const lo_arg* argument) {
  int32_t value;
  std::memcpy(&value, static_cast<const void*>(argument), sizeof value);
  return value;
}

const char* private_string(lo_arg* argument) { return &argument->s; }

}  // namespace

void serialosc_start(const char* reply_port, const char* prefix) {
  if (load_acquire(state.armed) || !reply_port || !prefix) return;
  state.prefix = prefix;
  state.reply_port = std::atoi(reply_port);
  // The server thread may already answer while these go out: it sends through an address of its own.
  lo_address daemon = lo_address_new(nullptr, serialosc_port);
  store_release(state.armed, 1);
  private_ask(daemon, "/serialosc/list");
  private_ask(daemon, "/serialosc/notify");
  if (daemon) lo_address_free(daemon);
}

int serialosc_dispatch(const char* path, const char* types, lo_arg** argv, int argc) {
  if (!path || std::strncmp(path, "/serialosc/", 11) != 0) return 0;
  if (!load_acquire(state.armed) || !types) return 1;
  std::string what = path + 11;
  if (what == "device" && std::strcmp(types, "ssi") == 0 && argc == 3) {
    private_device(private_string(argv[0]), private_string(argv[1]), private_int(argv[2]));
  } else if ((what == "add" || what == "remove") && types[0] == 's' && argc >= 1) {
    // Each notification answers one request: ask again to hear of the next device.
    if (what == "add") private_added(private_string(argv[0]));
    else private_removed(private_string(argv[0]));
    private_ask("/serialosc/notify");
  }
  return 1;
}

int serialosc_grid_follow(serialosc_grid* g, const char* prefix) {
  if (!load_acquire(state.armed) || !prefix || state.prefix != prefix) return 0;
  int32_t claim = load_acquire(state.claim);
  if (claim == g->seen) return 0;
  g->seen = claim;
  serialosc_grid_delete(g);
  int32_t port = claim & 0xFFFF;
  if (port) g->address = lo_address_new(nullptr, std::to_string(port).c_str());
  return g->address != nullptr;
}

void serialosc_grid_delete(serialosc_grid* g) {
  if (g->address) lo_address_free(g->address);
  g->address = nullptr;
}
