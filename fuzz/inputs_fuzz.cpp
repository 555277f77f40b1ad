// Any bytes as every outside input: a slot loads with one of the loader's messages and keeps the operator
// headers and phases; a list chunk read writes back the very bytes it came from; a playlist appends only
// whole events; a MIDI packet decodes to valid events that midifn maps within every field's range; a MIDI
// file reads or says why not.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/kelvarin/midi_file.hpp"
#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/playlist.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/visuals_model.hpp"

namespace {

void check(bool ok, const char* what) { ok || (std::fprintf(stderr, "fuzz check failed: %s\n", what), std::abort(), false); }

struct reading {
  byte_array bytes{};
  stream s;
  reading(const uint8_t* data, size_t size) { array_catb(&bytes.raw, data, int32_t(size)), stream_make_on_array(&s, STREAM_READ, &bytes); }
  ~reading() { stream_delete(&s), array_reset(bytes); }
};

void check_slot(const uint8_t* data, size_t size) {
  static synth_state before[2];
  std::memcpy(before, synths, sizeof before);
  reading in(data, size);
  const char* message = load(&in.s);
  check(message == PRESET_CANNOT_LOAD || message == PRESET_LOADED || message == PRESET_INCOMPLETE, "message");
  for (int r = 0, n = 0; r < 2; n = (n + 1) % VOICES, r += n == 0) {
    check(std::memcmp(&before[r].oscs[n].fm_saw.operators, &synths[r].oscs[n].fm_saw.operators, 16) == 0, "saw headers kept");
    check(std::memcmp(&before[r].oscs[n].fm_square.operators, &synths[r].oscs[n].fm_square.operators, 16) == 0, "square headers kept");
    double now = synths[r].oscs[n].phase, was = before[0].oscs[n].phase, other = before[1].oscs[n].phase;
    check(now == was || now == other, "phases only move between the records");
  }
}

void check_list_and_playlist(const uint8_t* data, size_t size) {
  list_chunk l;
  reading in(data, size), again(data, size);
  if (list_chunk_read(&in.s, &l) && l.ok) {
    byte_array bytes{};
    stream out;
    stream_make_on_array(&out, STREAM_WRITE, &bytes);
    check(list_chunk_write(&out, &l) == 1, "a list read is writable");
    check(size_t(array_bytes(&bytes.raw)) <= size && std::memcmp(bytes.raw.data, data, size_t(array_bytes(&bytes.raw))) == 0, "round trip");
    stream_delete(&out), array_reset(bytes);
  }
  list_chunk_delete(&l);
  event_array events{};
  byte_array out{};
  int32_t count = playlist_read_stream(&again.s, &events);
  uint32_t length = 0;
  if (size >= 8) std::memcpy(&length, data + 4, 4);
  check(count == event_array_length(&events) && count == (size >= 8 && length <= size - 8 ? int32_t(length / 12) : 0), "whole events only");
  check(count == 0 || (playlist_bytes(&events, &out) == 1 && std::memcmp(out.raw.data + 8, data + 8, size_t(12 * count)) == 0), "same events");
  array_reset(out), array_reset(events);
}

// Two bytes of length field (taken as the platform gives it, possibly beyond the buffer), then data.
void check_packet(const uint8_t* data, size_t size) {
  oscs_make();  // the record as MIDI alone leaves it (a loaded slot may hold anything)
  midi_packet packet{};
  packet.length = uint16_t(data[0] | (data[1] << 8));
  std::memcpy(packet.data, data + 2, std::min(size - 2, size_t(MIDI_PACKET_BYTES)));
  int32_t count = midi_event_count(&packet);
  check(count >= 0 && count * 3 <= MIDI_PACKET_BYTES, "count");
  for (int32_t i = 0; i <= count; ++i) {
    midi_event e;
    midi_event_get(&packet, &e, i);
    bool known = e.kind == MIDI_KIND_CC || e.kind == MIDI_KIND_NOTE_OFF || (e.kind == MIDI_KIND_NOTE_ON && e.value > 0);
    check(i < count ? known && e.channel < 16 && e.number < 128 && e.value < 128 : e.kind == MIDI_KIND_NONE, "event");
  }
  check(midifn(nullptr, &packet) == count, "every event handled");
  for (const osc& o : synth().oscs) check(o.kind >= 0 && o.kind < OSC_WAVEFORMS && o.divisor >= 1.0f && o.note >= 0.0f, "oscillator");
  for (const voice_params& v : synth().voices) check(v.volume >= 0.0f && v.volume <= 1.0f && v.pan >= -1.0f && v.pan <= 1.0f, "voice");
  for (const auto& row : synth().cells)
    for (const mod_cell& c : row) check(c.type >= 0 && c.type < MOD_TYPES && c.divisor >= 1.0f && std::fabs(c.amount) <= 1.0f, "cell");
}

void check_midi_file(const uint8_t* data, size_t size) {
  midi_file_event_array events{};
  char error[MIDI_FILE_ERROR_BYTES];
  int ok = midi_file_read_memory(data, int32_t(size), &events, error);
  check(ok || error[0] != 0, "a refusal names its reason");
  for (int32_t i = 0; ok && i < array_length(events); ++i) {
    int kind = array_get(events, i)->bytes[0] & 0xF0;
    check((i == 0 || array_get(events, i)->seconds >= array_get(events, i - 1)->seconds) && (kind == 0x80 || kind == 0x90 || kind == 0xB0), "kept event");
  }
  array_reset(events);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("KELVARIN_RESOURCES", "/fuzz/res", 1);
  oscs_make();
  modmatrix_make();
  return freopen("/dev/null", "w", stdout) ? 0 : 1;  // midifn prints every event
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  check_slot(data, size);
  check_list_and_playlist(data, size);
  if (size >= 2) check_packet(data, size);
  check_midi_file(data, size);
  return 0;
}
