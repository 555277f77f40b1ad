// JACK MIDI input: the process callback copies events into a ring buffer; a thread turns them into packets.
#include "library/arch/linux/midi-jack.hpp"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <thread>

#include "library/arch/linux/jack-client.hpp"
#include "toolset/atomics.hpp"

namespace {

// One ring-buffer record: this header, then `size` MIDI bytes.
struct event_header {
  uint64_t time_ns;
  uint16_t port;
  uint16_t size;
  uint32_t reserved;
};
static_assert(sizeof(event_header) == 16);

constexpr size_t RING_BYTES = 1 << 16;

}  // namespace

struct midi_jack {
  jack_client_t* client = nullptr;
  jack_port_t* ports[MIDI_PORTS] = {};
  midi_receive receive[MIDI_PORTS] = {};
  void* refs[MIDI_PORTS] = {};
  int32_t port_count = 0;  // fixed before activation; the process callback only reads it
  jack_ringbuffer_t* ring = nullptr;
  sem_t wake;
  int32_t stop = 0;
  int32_t dropped = 0;
  int32_t active = 0;
  int32_t server_gone = 0;  // set by JACK's shutdown callback: the client is a shell to be closed
  std::thread thread;
};

namespace {

// Real-time thread: no allocation, no lock, no output. sem_post is a wait-free increment and wakes
// the layer's thread only if it sleeps.
void copy_port_events(midi_jack* j, int32_t port, jack_nframes_t nframes, jack_nframes_t cycle_start, int* any) {
  void* buffer = jack_port_get_buffer(j->ports[port], nframes);
  uint32_t n = jack_midi_get_event_count(buffer);
  unsigned char record[sizeof(event_header) + MIDI_PACKET_BYTES];
  for (uint32_t i = 0; i < n; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0) continue;
    size_t size = event.size > size_t(MIDI_PACKET_BYTES) ? size_t(MIDI_PACKET_BYTES) : event.size;
    event_header h{uint64_t(jack_frames_to_time(j->client, cycle_start + event.time)) * 1000u, uint16_t(port),
                   uint16_t(size), 0};
    if (jack_ringbuffer_write_space(j->ring) < sizeof h + size) {
      store_relaxed(j->dropped, load_relaxed(j->dropped) + 1);
      continue;
    }
    std::memcpy(record, &h, sizeof h);
    std::memcpy(record + sizeof h, event.buffer, size);
    jack_ringbuffer_write(j->ring, reinterpret_cast<const char*>(record), sizeof h + size);
    *any = 1;
  }
}

void process(void* arg, jack_nframes_t nframes) {
  midi_jack* j = static_cast<midi_jack*>(arg);
  jack_nframes_t cycle_start = jack_last_frame_time(j->client);
  int any = 0;
  for (int32_t port = 0; port < j->port_count; ++port) copy_port_events(j, port, nframes, cycle_start, &any);
  if (any) sem_post(&j->wake);
}

void on_shutdown(void* arg) { store_release(static_cast<midi_jack*>(arg)->server_gone, 1); }

// Delivers every complete record in the ring buffer.
void drain(midi_jack* j) {
  event_header h;
  midi_packet packet;
  while (jack_ringbuffer_read_space(j->ring) >= sizeof h) {
    jack_ringbuffer_peek(j->ring, reinterpret_cast<char*>(&h), sizeof h);
    if (jack_ringbuffer_read_space(j->ring) < sizeof h + h.size) return;
    jack_ringbuffer_read_advance(j->ring, sizeof h);
    jack_ringbuffer_read(j->ring, reinterpret_cast<char*>(packet.data), h.size);
    packet.time_stamp = h.time_ns;
    packet.length = h.size;
    if (h.port < j->port_count && j->receive[h.port]) j->receive[h.port](j->refs[h.port], &packet);
  }
}

void deliver(midi_jack* j) {
  while (!load_acquire(j->stop)) {
    if (sem_wait(&j->wake) != 0 && errno == EINTR) continue;
    drain(j);
  }
  drain(j);
}

}  // namespace

midi_jack* midi_jack_open(const char* client_name) {
  jack_client_t* client = jack_shared_acquire(JACK_ROLE_MIDI, client_name);
  if (!client) return nullptr;
  midi_jack* j = new (std::nothrow) midi_jack;
  jack_ringbuffer_t* ring = jack_ringbuffer_create(RING_BYTES);
  if (!j || !ring || sem_init(&j->wake, 0, 0) != 0) {
    if (ring) jack_ringbuffer_free(ring);
    delete j;
    jack_shared_release(JACK_ROLE_MIDI);
    return nullptr;
  }
  j->client = client;
  j->ring = ring;
  jack_ringbuffer_mlock(ring);
  return j;
}

const char* midi_jack_client_name(const midi_jack* jack) { return jack_get_client_name(jack->client); }

int32_t midi_jack_publish(midi_jack* jack, const char* port_name, midi_receive receive, void* ref) {
  if (jack->active || jack->port_count >= MIDI_PORTS) return -1;
  jack_port_t* port = jack_port_register(jack->client, port_name, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (!port) return -1;
  int32_t index = jack->port_count;
  jack->ports[index] = port;
  jack->receive[index] = receive;
  jack->refs[index] = ref;
  jack->port_count = index + 1;
  return index;
}

int midi_jack_start(midi_jack* jack) {
  if (jack->active) return 1;
  jack->thread = std::thread(deliver, jack);
  jack_role_handlers handlers{process, on_shutdown, nullptr, jack};
  if (!jack_shared_start(JACK_ROLE_MIDI, &handlers)) {
    jack_shared_stop(JACK_ROLE_MIDI);
    store_release(jack->stop, 1);
    sem_post(&jack->wake);
    jack->thread.join();
    return 0;
  }
  jack->active = 1;
  return 1;
}

// Callbacks stop first, then the thread delivers what is left and ends; only then do the ports and
// the receive references (the layer's devices) go away. The client stays while the audio uses it.
void midi_jack_close(midi_jack* jack) {
  if (!jack) return;
  jack_shared_stop(JACK_ROLE_MIDI);
  bool gone = load_acquire(jack->server_gone) || jack_shared_gone();
  if (jack->thread.joinable()) {
    store_release(jack->stop, 1);
    sem_post(&jack->wake);
    jack->thread.join();
  }
  for (int32_t i = 0; i < jack->port_count && !gone; ++i) jack_port_unregister(jack->client, jack->ports[i]);
  jack_shared_release(JACK_ROLE_MIDI);
  jack_ringbuffer_free(jack->ring);
  sem_destroy(&jack->wake);
  delete jack;
}

int32_t midi_jack_dropped(const midi_jack* jack) { return load_relaxed(jack->dropped); }
