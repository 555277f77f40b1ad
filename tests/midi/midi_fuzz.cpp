// Fuzz target: any packet bytes and any length field through the decoder and the instrument's callback.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/synth.hpp"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void check_event(const midi_event& e, bool in_range) {
  check(e.tag == MIDI_EVENT_TAG && e.reserved == 0);
  if (!in_range) {
    check(e.kind == MIDI_KIND_NONE && e.channel == 0 && e.number == 0 && e.value == 0);
    return;
  }
  check(e.kind == MIDI_KIND_CC || e.kind == MIDI_KIND_NOTE_ON || e.kind == MIDI_KIND_NOTE_OFF);
  check(e.channel >= 0 && e.channel < 16 && e.number >= 0 && e.number < 128 && e.value >= 0 && e.value < 128);
  check(e.kind != MIDI_KIND_NOTE_ON || e.value > 0);
}

void check_record(const synth_state& s) {
  for (int v = 0; v < VOICES; ++v) {
    check(s.oscs[v].kind >= 0 && s.oscs[v].kind < 12 && s.oscs[v].divisor >= 1.0f);
    check(s.oscs[v].note >= 0.0f && s.oscs[v].note < 128.0f);
    check(s.voices[v].volume >= 0.0f && s.voices[v].volume <= 1.0f);
    check(s.voices[v].pan >= -1.0f && s.voices[v].pan <= 1.0f);
    for (int c = 0; c < VOICES; ++c) {
      const mod_cell& cell = s.cells[v][c];
      check(cell.type >= 0 && cell.type < 10 && cell.divisor >= 1.0f);
      check(cell.amount >= -1.0f && cell.amount <= 1.0f);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  oscs_make();
  if (!freopen("/dev/null", "w", stdout)) return 1;  // midifn prints every event
  return 0;
}

// Two bytes of length field (taken as the platform gives it, possibly larger than the buffer), then data.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  midi_packet packet;
  std::memset(&packet, 0, sizeof packet);
  packet.length = uint16_t(data[0] | (data[1] << 8));
  size_t bytes = size - 2 < size_t(MIDI_PACKET_BYTES) ? size - 2 : size_t(MIDI_PACKET_BYTES);
  std::memcpy(packet.data, data + 2, bytes);
  int32_t count = midi_event_count(&packet);
  check(count >= 0 && count * 3 <= MIDI_PACKET_BYTES);
  for (int32_t i = 0; i <= count; ++i) {
    midi_event e;
    midi_event_get(&packet, &e, i);
    check_event(e, i < count);
  }
  check(midifn(nullptr, &packet) == count);
  check_record(synth());
  return 0;
}
