// The program's one JACK client, shared by the MIDI input port and the audio outputs.
#pragma once
#include <jack/jack.h>

#include <cstdint>

// Each layer that uses the client is a role with its own handlers. JACK allows one process callback
// per client, so the client's callbacks call every role's handler in turn.
enum jack_role : int32_t { JACK_ROLE_MIDI = 0, JACK_ROLE_AUDIO = 1, JACK_ROLES = 2 };

struct jack_role_handlers {
  // JACK's real-time thread, every period: no allocation, lock, wait or I/O.
  void (*process)(void* arg, jack_nframes_t frames);
  // The server went away; JACK's own thread, under the rules of a signal handler (write(2) at most).
  void (*shutdown)(void* arg);
  // A period the server could not serve in time; JACK's notification thread.
  void (*xrun)(void* arg);
  void* arg;
};

// Opens the client under `name` on first use (a running server only, never starting one) or hands out
// the open one. Null without a server; a server that refuses the client is reported in one line.
jack_client_t* jack_shared_acquire(jack_role role, const char* name);
// Installs the role's handlers and activates the client if it is not active yet. Ports may be
// registered before or after. 0 when the client cannot be activated.
int jack_shared_start(jack_role role, const jack_role_handlers* handlers);
// 1 once the server has shut the client down: it is a shell that only closing may touch.
int jack_shared_gone();
// Stops the role's handlers, waiting out a callback in flight: afterwards the role's ports and
// handler argument are the role's own again (to unregister and free).
void jack_shared_stop(jack_role role);
// Stops the role if still needed and, after the last role, deactivates and closes the client.
void jack_shared_release(jack_role role);
