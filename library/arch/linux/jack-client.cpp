// The shared JACK client: opened once, its callbacks fanned out to the MIDI and audio roles.
#include "library/arch/linux/jack-client.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "toolset/atomics.hpp"

namespace {

struct shared_client {
  jack_client_t* client = nullptr;
  int32_t holders = 0;  // one bit per role; start-up and shut-down run on the main thread only
  int32_t active = 0;
  int32_t gone = 0;     // set by the shutdown callback
  int32_t busy = 0;     // callbacks running right now; release waits for 0 after clearing a role
  int32_t refusal_told = 0;
  jack_role_handlers roles[JACK_ROLES] = {};
};

shared_client shared;

// Handler words are read and written whole. Clearing and the callbacks' entry are sequentially
// consistent, so once release has seen `busy` at 0 after clearing, no callback can still see the role.
template <class F>
F load_handler(F& word) {
  return std::atomic_ref<F>(word).load();
}
template <class F>
void store_handler(F& word, F value) {
  std::atomic_ref<F>(word).store(value);
}

void enter() { std::atomic_ref<int32_t>(shared.busy).fetch_add(1); }
void leave() { std::atomic_ref<int32_t>(shared.busy).fetch_sub(1, std::memory_order_release); }

int private_process(jack_nframes_t frames, void*) {
  enter();
  for (jack_role_handlers& r : shared.roles) {
    if (auto fn = load_handler(r.process)) fn(load_relaxed(r.arg), frames);
  }
  leave();
  return 0;
}

void private_shutdown(void*) {
  store_release(shared.gone, 1);
  enter();
  for (jack_role_handlers& r : shared.roles) {
    if (auto fn = load_handler(r.shutdown)) fn(load_relaxed(r.arg));
  }
  leave();
}

int private_xrun(void*) {
  enter();
  for (jack_role_handlers& r : shared.roles) {
    if (auto fn = load_handler(r.xrun)) fn(load_relaxed(r.arg));
  }
  leave();
  return 0;
}

// "No server" is the normal case without JACK and stays silent; anything else is said once.
void private_tell_refusal(const char* name, jack_status_t status) {
  int refused = status & ~(JackFailure | JackServerFailed);
  if (!refused || shared.refusal_told) return;
  shared.refusal_told = 1;
  std::printf("JACK server refused the client \"%s\" (status 0x%x): no JACK audio or MIDI.\n", name, unsigned(status));
  std::fflush(stdout);
}

jack_client_t* private_open(const char* name) {
  jack_status_t status{};
  jack_client_t* client = jack_client_open(name, JackNoStartServer, &status);
  if (!client) {
    private_tell_refusal(name, status);
    return nullptr;
  }
  // Callbacks can only be set while the client is inactive: all of them now, each role filled in later.
  if (jack_set_process_callback(client, private_process, nullptr) != 0 ||
      jack_set_xrun_callback(client, private_xrun, nullptr) != 0) {
    jack_client_close(client);
    return nullptr;
  }
  jack_on_shutdown(client, private_shutdown, nullptr);
  store_relaxed(shared.gone, 0);
  return client;
}

// Waits out callbacks that may still hold a cleared role; a server that died mid-period never returns,
// hence the bound.
void private_wait_idle() {
  for (int i = 0; i < 2000 && std::atomic_ref<int32_t>(shared.busy).load() != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

jack_client_t* jack_shared_acquire(jack_role role, const char* name) {
  if (!shared.client) shared.client = private_open(name);
  if (shared.client) shared.holders |= 1 << role;
  return shared.client;
}

int jack_shared_start(jack_role role, const jack_role_handlers* handlers) {
  if (!shared.client || !(shared.holders & (1 << role)) || load_acquire(shared.gone)) return 0;
  jack_role_handlers& r = shared.roles[role];
  store_relaxed(r.arg, handlers->arg);
  store_handler(r.xrun, handlers->xrun);
  store_handler(r.shutdown, handlers->shutdown);
  store_handler(r.process, handlers->process);
  if (shared.active) return 1;
  if (jack_activate(shared.client) != 0) return 0;
  shared.active = 1;
  return 1;
}

int jack_shared_gone() { return load_acquire(shared.gone); }

void jack_shared_stop(jack_role role) {
  jack_role_handlers& r = shared.roles[role];
  if (!load_handler(r.process) && !load_handler(r.shutdown) && !load_handler(r.xrun)) return;
  store_handler(r.process, decltype(r.process){});
  store_handler(r.shutdown, decltype(r.shutdown){});
  store_handler(r.xrun, decltype(r.xrun){});
  private_wait_idle();
}

void jack_shared_release(jack_role role) {
  if (!(shared.holders & (1 << role))) return;
  jack_shared_stop(role);
  shared.holders &= ~(1 << role);
  if (shared.holders) return;
  if (shared.active && !jack_shared_gone()) jack_deactivate(shared.client);
  jack_client_close(shared.client);
  shared.client = nullptr;
  shared.active = 0;
}
