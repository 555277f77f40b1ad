// Latency of the instrument on a JACK server: frames from a MIDI note's arrival at vorn:kelvarin to its
// first sample at vorn:out_1. Run by bench/jack-latency.sh against jack_probe (voice 0 at volume 0).
#include <jack/jack.h>
#include <jack/midiport.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "toolset/atomics.hpp"

namespace {

constexpr int TRIALS = 40;

struct meter {
  jack_client_t* client = nullptr;
  jack_port_t* midi = nullptr;
  jack_port_t* in = nullptr;
  int32_t state = 0;  // 0 waiting to send, 1 listening for the note, 2 letting it fall silent
  jack_nframes_t sent_at = 0, next_at = 0;
  int32_t done = 0;
  int32_t latency[TRIALS] = {};
};

// Each trial: volume up and note 57 on channel 0 at the first frame of a period; the first sample above
// the silence floor; volume down; a quiet third of a second.
int process(jack_nframes_t frames, void* arg) {
  auto* m = static_cast<meter*>(arg);
  void* out = jack_port_get_buffer(m->midi, frames);
  jack_midi_clear_buffer(out);
  auto* in = static_cast<const float*>(jack_port_get_buffer(m->in, frames));
  jack_nframes_t now = jack_last_frame_time(m->client);
  int32_t done = load_relaxed(m->done);
  if (m->state == 0 && now >= m->next_at && done < TRIALS) {
    const unsigned char up[3] = {0xB0, 7, 127}, note[3] = {0x90, 57, 100};
    jack_midi_event_write(out, 0, up, 3);
    jack_midi_event_write(out, 0, note, 3);
    m->sent_at = now;
    m->state = 1;
  } else if (m->state == 1) {
    for (jack_nframes_t i = 0; i < frames; ++i) {
      if (std::fabs(in[i]) <= 1e-6f) continue;
      m->latency[done] = int32_t(now + i - m->sent_at);
      const unsigned char down[3] = {0xB0, 7, 0};
      jack_midi_event_write(out, 0, down, 3);
      m->state = 2;
      m->next_at = now + jack_get_sample_rate(m->client) / 3;
      store_release(m->done, done + 1);
      break;
    }
  } else if (m->state == 2 && now >= m->next_at) {
    m->state = 0;
  }
  return 0;
}

}  // namespace

int main() {
  meter m;
  m.client = jack_client_open("kv-latency", JackNoStartServer, nullptr);
  if (!m.client) return std::puts("no JACK server"), 1;
  m.midi = jack_port_register(m.client, "midi", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  m.in = jack_port_register(m.client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(m.client, process, &m);
  m.next_at = jack_frame_time(m.client) + 4 * jack_get_sample_rate(m.client);  // past the silent start
  if (jack_activate(m.client) != 0 || jack_connect(m.client, "kv-latency:midi", "vorn:kelvarin") != 0 ||
      jack_connect(m.client, "vorn:out_1", "kv-latency:in") != 0) {
    return std::puts("cannot connect to vorn:kelvarin and vorn:out_1"), 1;
  }
  for (int i = 0; i < 600 && load_acquire(m.done) < TRIALS; ++i) usleep(50000);
  int32_t n = load_acquire(m.done);
  jack_nframes_t period = jack_get_buffer_size(m.client);
  jack_client_close(m.client);
  if (n == 0) return std::puts("no note was heard"), 1;
  std::sort(m.latency, m.latency + n);
  std::printf("period %u: %d notes, latency in frames min %d, median %d, max %d\n",
              unsigned(period), n, m.latency[0], m.latency[n / 2], m.latency[n - 1]);
  return 0;
}
