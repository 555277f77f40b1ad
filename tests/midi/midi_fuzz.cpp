// Fuzz target: any bytes as a packet (two bytes of length field, taken as the platform gives it, then
// data) through the decoder and the instrument's callback, and as a MIDI file.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "apps/kelvarin/midi_file.hpp"
#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/oscillators.hpp"
#include "fuzz/fuzz_check.hpp"

namespace {

void check_packet(const uint8_t* data, size_t size) {
  midi_packet packet{};
  packet.length = uint16_t(data[0] | (data[1] << 8));
  std::memcpy(packet.data, data + 2, std::min(size - 2, size_t(MIDI_PACKET_BYTES)));
  int32_t count = midi_event_count(&packet);
  fuzz_check(count >= 0 && count * 3 <= MIDI_PACKET_BYTES, "count");
  for (int32_t i = 0; i <= count; ++i) {
    midi_event e;
    midi_event_get(&packet, &e, i);
    bool known = e.kind == MIDI_KIND_CC || e.kind == MIDI_KIND_NOTE_OFF || (e.kind == MIDI_KIND_NOTE_ON && e.value > 0);
    fuzz_check(i < count ? known && e.channel < 16 && e.number < 128 && e.value < 128 : e.kind == MIDI_KIND_NONE, "event");
  }
  fuzz_check(midifn(nullptr, &packet) == count, "every event handled");
  for (const osc& o : synth().oscs) fuzz_check(o.kind >= 0 && o.kind < OSC_WAVEFORMS && o.divisor >= 1.0f && o.note >= 0.0f, "oscillator");
  for (const voice_params& v : synth().voices) fuzz_check(v.volume >= 0.0f && v.volume <= 1.0f && v.pan >= -1.0f && v.pan <= 1.0f, "voice");
  for (const auto& row : synth().cells)
    for (const mod_cell& c : row) fuzz_check(c.type >= 0 && c.type < MOD_TYPES && c.divisor >= 1.0f && std::fabs(c.amount) <= 1.0f, "cell");
}

// Read or refused with a message; the events kept are in time order and of the three mapped kinds.
void check_file(const uint8_t* data, size_t size) {
  midi_file_event_array events{};
  char error[MIDI_FILE_ERROR_BYTES];
  int ok = midi_file_read_memory(data, int32_t(size), &events, error);
  fuzz_check(ok || error[0] != 0, "a refusal names its reason");
  for (int32_t i = 0; ok && i < array_length(events); ++i) {
    int kind = array_get(events, i)->bytes[0] & 0xF0;
    fuzz_check((i == 0 || array_get(events, i)->seconds >= array_get(events, i - 1)->seconds) && (kind == 0x80 || kind == 0x90 || kind == 0xB0), "kept event");
  }
  array_reset(events);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  oscs_make();
  return freopen("/dev/null", "w", stdout) ? 0 : 1;  // midifn prints every event
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 2) check_packet(data, size);
  if (size <= (1u << 20)) check_file(data, size);
  return 0;
}
