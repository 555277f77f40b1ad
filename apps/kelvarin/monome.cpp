// The grid controller link: the OSC server and its handlers, the double-buffered presses and the LEDs.
#include "apps/kelvarin/monome.hpp"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "toolset/atomics.hpp"

namespace {

// Routes one prefix to the record currently made with it. Bindings form a list that only grows at
// its head (published with release) and is never freed, because the server that walks it is never
// stopped. A deleted record is unhooked by clearing `record` and waiting until no handler is inside
// (`busy`), which makes a press that arrives during or after monome_delete harmless.
struct monome_binding {
  std::string prefix;        // fixed before the binding is published
  monome* record = nullptr;  // shared with the OSC thread: sequentially consistent, with `busy`
  int32_t busy = 0;          // handlers that may be using `record`
  monome_binding* next = nullptr;
};

lo_server_thread private_server = nullptr;  // made by the first monome_make, never stopped
bool private_server_tried_p = false;
monome_binding* private_bindings = nullptr;  // head of the list; written by monome_make only

const char* private_or_none(const char* text) { return text ? text : "(none)"; }

monome* private_monome_enter(monome_binding* b) {
  std::atomic_ref<int32_t>(b->busy).fetch_add(1);
  return std::atomic_ref<monome*>(b->record).load();
}

void private_monome_leave(monome_binding* b) {
  std::atomic_ref<int32_t>(b->busy).fetch_sub(1, std::memory_order_release);
}

void private_monome_unhook(monome_binding* b) {
  std::atomic_ref<monome*>(b->record).store(nullptr);
  while (std::atomic_ref<int32_t>(b->busy).load() != 0) std::this_thread::yield();
}

void private_monome_error(int number, const char* message, const char* path) {
  printf("OSC server error %d in path %s: %s\n", number, private_or_none(path), private_or_none(message));
  fflush(stdout);
}

// OSC arguments sit on 4-byte boundaries inside the message, while the argument union asks for 8:
// an integer is copied out of its bytes instead of being read through the union.
int32_t private_int_argument(const lo_arg* argument) {
  int32_t value;
  std::memcpy(&value, static_cast<const void*>(argument), sizeof value);
  return value;
}

int private_monome_press(monome_binding* binding, const char* path, const char* types, lo_arg** argv) {
  if (!types || std::strcmp(types, "iii") != 0) {
    printf("received unknown press message on [%s with types %s]\n", path, private_or_none(types));
    fflush(stdout);
    return 0;
  }
  int32_t x = private_int_argument(argv[0]), y = private_int_argument(argv[1]);
  int32_t state = private_int_argument(argv[2]);
  monome* m = private_monome_enter(binding);
  int taken = m ? monome_accept_press(m, x, y, state) : 1;
  private_monome_leave(binding);
  if (!taken) {
    printf("received press outside the grid on [%s with x %d, y %d]\n", path, int(x), int(y));
    fflush(stdout);
  }
  return 0;
}

int private_monome_tilt(const char* path, const char* types) {
  if (!types || std::strcmp(types, "ff") != 0) {
    printf("received unknown tilt message on [%s]\n", path);
    fflush(stdout);
  }
  return 0;
}

bool private_monome_path_p(const char* path, const std::string& prefix, const char* suffix) {
  return std::strncmp(path, prefix.c_str(), prefix.size()) == 0 && std::strcmp(path + prefix.size(), suffix) == 0;
}

// The server's one method: it takes every path and any type tags, so that messages with the wrong
// tags reach the checks above instead of being dropped or converted by the OSC library, and so that
// records made while the server runs need no new method on its thread. Other paths are not ours.
int private_monome_dispatch(const char* path, const char* types, lo_arg** argv, int argc, lo_message, void*) {
  if (!path) return 1;
  if (serialosc_dispatch(path, types, argv, argc)) return 0;
  for (monome_binding* b = load_acquire(private_bindings); b; b = b->next) {
    if (private_monome_path_p(path, b->prefix, "/press") || private_monome_path_p(path, b->prefix, "/grid/key"))
      return private_monome_press(b, path, types, argv);
    if (private_monome_path_p(path, b->prefix, "/tilt")) return private_monome_tilt(path, types);
  }
  return 1;
}

// The server is made and started on first use. When its port is taken the instrument plays on
// without grid input (LEDs are still sent), and says so once.
void private_monome_start_server() {
  if (private_server_tried_p) return;
  private_server_tried_p = true;
  private_server = lo_server_thread_new(monome_server_port, private_monome_error);
  if (!private_server) {
    printf("grid input off: UDP port %s is taken; grid LEDs are still sent\n", monome_server_port);
    fflush(stdout);
    return;
  }
  lo_server_thread_add_method(private_server, nullptr, nullptr, private_monome_dispatch, nullptr);
  lo_server_thread_start(private_server);
}

monome_binding* private_monome_binding(const char* prefix) {
  for (monome_binding* b = private_bindings; b; b = b->next)
    if (b->prefix == prefix) return b;
  auto* b = new monome_binding{prefix, nullptr, 0, private_bindings};
  store_release(private_bindings, b);
  return b;
}

const char* private_monome_prefix(const monome* m) {
  const char* text = array_data(m->prefix);
  return text ? text : "";
}

// A grid larger than 8 x 8 shows the instrument on its top-left 8 x 8.
void private_monome_grid_led(monome* m, int32_t x, int32_t y, int32_t state) {
  if (!m->grid.address) return;
  std::string path = std::string(private_monome_prefix(m)) + "/grid/led/set";
  lo_send(m->grid.address, path.c_str(), "iii", int(x), int(y), int(state));
}

int32_t private_monome_front(const monome* m) { return load_relaxed(m->front) & 1; }

bool private_monome_cell_p(int32_t row, int32_t column) {
  return row >= 0 && row < monome_side && column >= 0 && column < monome_side;
}

}  // namespace

int monome_make(monome* m, const char* prefix) {
  m->prefix = {};
  array_cats0(&m->prefix.raw, prefix);
  std::memset(m->halves, 0, sizeof m->halves);
  m->front = 0;
  m->address = lo_address_new(nullptr, monome_led_port);
  m->grid = {};
  private_monome_start_server();
  if (private_server) serialosc_start(monome_server_port, private_monome_prefix(m));
  monome_binding* binding = private_monome_binding(private_monome_prefix(m));
  std::atomic_ref<monome*>(binding->record).store(m);
  monome_clear(m);
  return m->address != nullptr;
}

void monome_define(monome*) {}

void monome_set_led(monome* m, int32_t row, int32_t column, int32_t value) {
  if (!private_monome_cell_p(row, column)) return;
  m->halves[1 - private_monome_front(m)].led[row * monome_side + column] = value;
}

int32_t monome_button_down(const monome* m, int32_t row, int32_t column) {
  if (!private_monome_cell_p(row, column)) return 0;
  return load_relaxed(m->halves[private_monome_front(m)].down[row * monome_side + column]);
}

int monome_accept_press(monome* m, int32_t x, int32_t y, int32_t state) {
  if (!private_monome_cell_p(y, x)) return 0;
  int32_t pressed = state != 0;
  int32_t entered = std::atomic_ref<int32_t>(m->front).fetch_add(2, std::memory_order_acquire);
  monome_half& back = m->halves[1 - (entered & 1)];
  int32_t cell = y * monome_side + x;
  std::atomic_ref<int32_t>(back.press[cell]).fetch_add(pressed, std::memory_order_relaxed);
  std::atomic_ref<int32_t>(back.down[cell]).fetch_sub(pressed, std::memory_order_relaxed);
  std::atomic_ref<int32_t>(m->front).fetch_sub(2, std::memory_order_release);
  return 1;
}

void monome_commit(monome* m) {
  int32_t f = private_monome_front(m);
  monome_half& front = m->halves[f];
  monome_half& back = m->halves[1 - f];
  int fresh_grid = serialosc_grid_follow(&m->grid, private_monome_prefix(m));
  for (int32_t row = 0; row < monome_side; ++row)
    for (int32_t column = 0; column < monome_side; ++column) {
      int32_t cell = row * monome_side + column;
      bool changed = front.led[cell] != back.led[cell];
      if (changed) monome_send(m, "/led", column, row, back.led[cell] != 0);
      if (changed || fresh_grid) private_monome_grid_led(m, column, row, back.led[cell] != 0);
    }
  for (int32_t cell = 0; cell < monome_cells; ++cell) {
    store_relaxed(front.press[cell], 0);
    store_relaxed(front.down[cell], 0);
  }
  int32_t expected = f;  // front index with no handler inside
  if (std::atomic_ref<int32_t>(m->front).compare_exchange_strong(expected, 1 - f, std::memory_order_acq_rel,
                                                                  std::memory_order_relaxed))
    return;
  // A press is being written to the back half right now: keep collecting there and swap next time.
  std::memcpy(front.led, back.led, sizeof front.led);
}

void monome_clear(monome* m) {
  for (int32_t x = 0; x < monome_side; ++x)
    for (int32_t y = 0; y < monome_side; ++y) monome_send(m, "/led", x, y, 0);
  for (monome_half& h : m->halves) std::memset(h.led, 0, sizeof h.led);
}

void monome_send(monome* m, const char* suffix, int32_t x, int32_t y, int32_t state) {
  if (!m->address) return;
  std::string path = std::string(private_monome_prefix(m)) + suffix;
  lo_send(m->address, path.c_str(), "iii", int(x), int(y), int(state));
}

void monome_delete(monome* m) {
  for (monome_binding* b = private_bindings; b; b = b->next)
    if (std::atomic_ref<monome*>(b->record).load() == m) private_monome_unhook(b);
  if (m->address) lo_address_free(m->address);
  m->address = nullptr;
  serialosc_grid_delete(&m->grid);
  array_reset(m->prefix);
}
