// ALSA sequencer MIDI input: events from the port become packets on the layer's own thread.
#include "library/arch/linux/midi-alsa.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <thread>
#include <vector>

struct midi_alsa {
  snd_seq_t* seq = nullptr;
  snd_midi_event_t* coder = nullptr;
  int ports[MIDI_PORTS] = {};
  midi_receive receive[MIDI_PORTS] = {};
  void* refs[MIDI_PORTS] = {};
  int32_t port_count = 0;
  int stop_fd = -1;  // eventfd: written once at close to end the thread's poll
  char name[MIDI_NAME_BYTES] = {};
  std::thread thread;
};

namespace {

void quiet(const char*, int, const char*, int, const char*, ...) {}

uint64_t monotonic_ns() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

void deliver_event(midi_alsa* a, const snd_seq_event_t* event) {
  for (int32_t i = 0; i < a->port_count; ++i) {
    if (a->ports[i] != event->dest.port || !a->receive[i]) continue;
    midi_packet packet;
    if (midi_alsa_event_packet(a->coder, event, monotonic_ns(), &packet) > 0) a->receive[i](a->refs[i], &packet);
    return;
  }
}

// Reads until the sequencer's input is empty; an overrun (-ENOSPC) loses events but not the port.
void drain(midi_alsa* a) {
  for (;;) {
    snd_seq_event_t* event = nullptr;
    int r = snd_seq_event_input(a->seq, &event);
    if (r == -EAGAIN) return;
    if (r < 0 && r != -ENOSPC) return;
    if (event) deliver_event(a, event);
  }
}

void deliver(midi_alsa* a) {
  int n = snd_seq_poll_descriptors_count(a->seq, POLLIN);
  std::vector<pollfd> fds(size_t(n) + 1);
  snd_seq_poll_descriptors(a->seq, fds.data(), unsigned(n), POLLIN);
  fds[size_t(n)] = pollfd{a->stop_fd, POLLIN, 0};
  for (;;) {
    if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
    if (fds[size_t(n)].revents) return;
    drain(a);
  }
}

}  // namespace

snd_midi_event_t* midi_alsa_coder_make() {
  snd_midi_event_t* coder = nullptr;
  if (snd_midi_event_new(MIDI_PACKET_BYTES, &coder) < 0) return nullptr;
  snd_midi_event_no_status(coder, 1);
  return coder;
}

int32_t midi_alsa_event_packet(snd_midi_event_t* coder, const snd_seq_event_t* event, uint64_t time_ns,
                               midi_packet* packet) {
  unsigned char bytes[MIDI_PACKET_BYTES];
  snd_midi_event_reset_decode(coder);
  long n = snd_midi_event_decode(coder, bytes, sizeof bytes, event);
  if (n <= 0) return 0;
  return midi_packet_make(packet, time_ns, bytes, int32_t(n));
}

midi_alsa* midi_alsa_open(const char* client_name) {
  // No sequencer device is the normal case on machines without one: keep alsa-lib quiet about it.
  snd_lib_error_set_handler(quiet);
  snd_seq_t* seq = nullptr;
  int r = snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
  snd_lib_error_set_handler(nullptr);
  if (r < 0) return nullptr;
  midi_alsa* a = new (std::nothrow) midi_alsa;
  snd_midi_event_t* coder = midi_alsa_coder_make();
  int stop_fd = eventfd(0, EFD_CLOEXEC);
  if (!a || !coder || stop_fd < 0 || snd_seq_set_client_name(seq, client_name) < 0) {
    if (stop_fd >= 0) close(stop_fd);
    if (coder) snd_midi_event_free(coder);
    delete a;
    snd_seq_close(seq);
    return nullptr;
  }
  a->seq = seq;
  a->coder = coder;
  a->stop_fd = stop_fd;
  snprintf(a->name, sizeof a->name, "%s", client_name);
  return a;
}

const char* midi_alsa_client_name(const midi_alsa* alsa) { return alsa->name; }

int32_t midi_alsa_publish(midi_alsa* alsa, const char* port_name, midi_receive receive, void* ref) {
  if (alsa->thread.joinable() || alsa->port_count >= MIDI_PORTS) return -1;
  int port = snd_seq_create_simple_port(alsa->seq, port_name, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0) return -1;
  int32_t index = alsa->port_count;
  alsa->ports[index] = port;
  alsa->receive[index] = receive;
  alsa->refs[index] = ref;
  alsa->port_count = index + 1;
  return index;
}

int midi_alsa_start(midi_alsa* alsa) {
  if (!alsa->thread.joinable()) alsa->thread = std::thread(deliver, alsa);
  return 1;
}

void midi_alsa_close(midi_alsa* alsa) {
  if (!alsa) return;
  if (alsa->thread.joinable()) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(alsa->stop_fd, &one, sizeof one);  // a fresh eventfd takes it
    alsa->thread.join();
  }
  for (int32_t i = 0; i < alsa->port_count; ++i) snd_seq_delete_simple_port(alsa->seq, alsa->ports[i]);
  snd_seq_close(alsa->seq);
  snd_midi_event_free(alsa->coder);
  close(alsa->stop_fd);
  delete alsa;
}
