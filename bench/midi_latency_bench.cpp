// MIDI latency on a JACK dummy server: blocks from a note's arrival to the first audio block carrying it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <jack/jack.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/synth.hpp"
#include "library/devices/midi.hpp"
#include "bench/jack_midi_sender.hpp"
#include "tests/support/servers.hpp"

namespace {

constexpr int NOTES = 200;

// Delivery time inside the layer: from the JACK time of the event to midifn having applied it.
struct delivery {
  double total_us = 0;
  double worst_us = 0;
  int count = 0;
};

int timed_midifn(void* user, const midi_packet* packet) {
  int n = midifn(nullptr, packet);
  delivery* d = static_cast<delivery*>(user);
  double us = double(jack_get_time()) - double(packet->time_stamp) / 1000.0;
  d->total_us += us;
  d->worst_us = std::max(d->worst_us, us);
  d->count++;
  return n;
}

// The block hook stands for the audio callback: a block carries the note if it is set at the block's start.
struct watcher {
  float target = -1.0f;
  int64_t seen_cycle = -1;
};

void watch(void* user, int64_t cycle) {
  watcher* w = static_cast<watcher*>(user);
  if (load_acquire(w->seen_cycle) < 0 && load_relaxed(synth().oscs[0].note) == load_relaxed(w->target))
    store_release(w->seen_cycle, cycle);
}

void BM_NoteToBlock(benchmark::State& state) {
  jack_server server("midi-latency");
  if (!server.ready()) {
    state.SkipWithError("no JACK dummy server");
    return;
  }
  oscs_make();
  delivery d;
  midi_io* io = nullptr;
  midi_io_make(&io);
  midi_device* device = nullptr;
  midi_io_define_device(io, &device);
  midi_device_set_name(device, "kelvarin");
  midi_device_in(device, timed_midifn, &d);
  midi_io_commit(io);
  midi_sender sender("kv-latency");
  watcher w;
  for (int i = 0; i < NOTES; ++i) sender.queue({0x90, static_cast<unsigned char>(60 + i % 2), 100});
  sender.set_hook(watch, &w);
  if (!sender.start_and_connect("vorn:kelvarin")) {
    state.SkipWithError("cannot connect to vorn:kelvarin");
    return;
  }
  std::vector<double> blocks;
  int i = 0;
  // midifn prints every note: keep it off the report while measuring.
  fflush(stdout);
  int saved = dup(1);
  int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, 1);
  for (auto _ : state) {
    store_release(w.seen_cycle, int64_t(-1));
    store_relaxed(w.target, float(60 + i % 2));
    sender.send_up_to(++i);
    while (load_acquire(w.seen_cycle) < 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    blocks.push_back(double(load_acquire(w.seen_cycle) - sender.last_send_cycle()));
  }
  midi_io_finish(&io);
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(null_fd);
  double sum = 0;
  for (double b : blocks) sum += b;
  state.counters["blocks_mean"] = sum / double(blocks.size());
  state.counters["blocks_max"] = *std::max_element(blocks.begin(), blocks.end());
  state.counters["delivery_us_mean"] = d.total_us / std::max(d.count, 1);
  state.counters["delivery_us_max"] = d.worst_us;
}
BENCHMARK(BM_NoteToBlock)->Iterations(NOTES)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
