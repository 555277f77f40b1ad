// Finding and claiming a grid through serialosc, the daemon that speaks for USB grids on this machine.
//
// serialosc listens on UDP port 12002. Asked with "/serialosc/list si host port" it answers each device
// with "/serialosc/device ssi id type port"; asked with "/serialosc/notify si host port" it answers once,
// with "/serialosc/add s id" or "/serialosc/remove s id", when a device comes or goes. A device is
// claimed by sending it "/sys/host s", "/sys/port i" and "/sys/prefix s": it then sends PREFIX/grid/key
// to that host and port and takes PREFIX/grid/led/set.
//
// Threads: the answers arrive on the grid link's OSC server thread, which alone keeps the list state
// (which device is claimed, which ones were removed) and sends the claims. The panel thread sends the
// LEDs; it learns which grid to send them to from one word, the claim, published by the server thread.
// Nothing here runs on the audio thread. Without serialosc nothing answers and nothing happens.
#pragma once
#include <lo/lo.h>

#include <cstdint>

inline constexpr const char* serialosc_port = "12002";

// Asks the local serialosc for its devices and for news of them, answers to come to `reply_port` on
// "localhost"; the first grid reported (and, while none is claimed, any grid plugged in later) is
// claimed with `prefix`. Only the first call does anything. Call once the server on `reply_port` runs.
void serialosc_start(const char* reply_port, const char* prefix);
// OSC server thread: takes "/serialosc/device", "/serialosc/add" and "/serialosc/remove". Answers that
// come late, twice or with other type tags change nothing. Returns 0 for any other path.
int serialosc_dispatch(const char* path, const char* types, lo_arg** argv, int argc);

// The claimed grid as one sender of LEDs (the panel thread) sees it.
struct serialosc_grid {
  int32_t seen = 0;              // the claim word at the last look
  lo_address address = nullptr;  // the claimed grid on the local host; null when none is claimed
};
// Panel thread: brings `g` up to date for a sender whose prefix is `prefix` (only the claiming prefix
// gets a grid). Returns 1 when a grid was newly claimed since the last call, so that every LED must be
// sent to it; a removed grid leaves `g` without an address.
int serialosc_grid_follow(serialosc_grid* g, const char* prefix);
void serialosc_grid_delete(serialosc_grid* g);
