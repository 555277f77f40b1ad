// The soak's random performance: MIDI through midifn, slot files through load, edits as the panel makes them.
#include "tools/soak/soak_stream.hpp"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "apps/brightloom/stream.hpp"
#include "apps/kelvarin/midi_map.hpp"
#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "pure/math.hpp"
#include "pure/music/notes.hpp"
#include "toolset/atomics.hpp"

namespace {

constexpr int32_t RECORD_AT = 20;  // the record's first byte in a slot file
constexpr int32_t CONTROLLERS[] = {7, 10, 48, 49};
constexpr int32_t MATRIX_FIRST = 56, MATRIX_COUNT = 32;

// Values that a damaged file may hold where a float belongs.
constexpr float HOSTILE_FLOATS[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(), 1e38f, -1e38f, 1e-40f, -1e-45f, 0.0f,
                                    -0.0f, 3e9f};

void put_float(std::string& bytes, int32_t at, float x) {
  if (at >= 0 && at + 4 <= int32_t(bytes.size())) std::memcpy(bytes.data() + at, &x, 4);
}

void put_u32(std::string& bytes, int32_t at, uint32_t x) {
  if (at >= 0 && at + 4 <= int32_t(bytes.size())) std::memcpy(bytes.data() + at, &x, 4);
}

float hostile_float(soak_stream* s) { return HOSTILE_FLOATS[soak_below(s, int32_t(std::size(HOSTILE_FLOATS)))]; }

int32_t voice_field_at(int32_t voice, size_t field) {
  return RECORD_AT + int32_t(offsetof(synth_state, voices)) + voice * int32_t(sizeof(voice_params)) + int32_t(field);
}

int32_t osc_field_at(int32_t o, size_t field) { return RECORD_AT + o * int32_t(sizeof(osc)) + int32_t(field); }

int32_t cell_field_at(int32_t row, int32_t column, size_t field) {
  return RECORD_AT + int32_t(offsetof(synth_state, cells)) + (row * 8 + column) * int32_t(sizeof(mod_cell)) +
         int32_t(field);
}

// ---- MIDI

int32_t put_event(soak_stream* s, unsigned char* out) {
  int32_t channel = soak_uniform(s) < 0.85f ? soak_below(s, 8) : soak_below(s, 16);
  int32_t pick = soak_below(s, 10);
  if (pick < 2) {  // note on (velocity 0 is a note off)
    out[0] = uint8_t(0x90 | channel), out[1] = uint8_t(soak_below(s, 128)), out[2] = uint8_t(soak_below(s, 128));
    return 3;
  }
  if (pick == 2) {
    out[0] = uint8_t(0x80 | channel), out[1] = uint8_t(soak_below(s, 128)), out[2] = uint8_t(soak_below(s, 128));
    return 3;
  }
  int32_t cc = pick == 3 ? soak_below(s, 128)
                         : (pick < 6 ? CONTROLLERS[soak_below(s, 4)] : MATRIX_FIRST + soak_below(s, MATRIX_COUNT));
  out[0] = uint8_t(0xB0 | channel), out[1] = uint8_t(cc), out[2] = uint8_t(soak_below(s, 128));
  return 3;
}

// Stray data bytes, system messages, program changes, a message cut short, or pure noise.
int32_t put_junk(soak_stream* s, unsigned char* out, int32_t room) {
  int32_t n = 1 + soak_below(s, room < 8 ? room : 8);
  for (int32_t k = 0; k < n; ++k) out[k] = uint8_t(soak_below(s, 256));
  if (soak_below(s, 2)) out[0] = uint8_t(0xB0 | soak_below(s, 16)), n = n < 2 ? n : 2;  // cut short
  return n;
}

// ---- Slot files

std::string truncated(soak_stream* s, std::string bytes) {
  bytes.resize(size_t(soak_below(s, int32_t(bytes.size()))));
  return bytes;
}

std::string bit_flips(soak_stream* s, std::string bytes) {
  int32_t flips = 1 + soak_below(s, 64);
  for (int32_t k = 0; k < flips; ++k) bytes[size_t(soak_below(s, int32_t(bytes.size())))] ^= char(1 << soak_below(s, 8));
  return bytes;
}

std::string non_finite(soak_stream* s, std::string bytes) {
  int32_t words = 1 + soak_below(s, 32);
  for (int32_t k = 0; k < words; ++k) put_float(bytes, RECORD_AT + 4 * soak_below(s, int32_t(sizeof(synth_state)) / 4), hostile_float(s));
  return bytes;
}

std::string huge_delay(soak_stream* s, std::string bytes) {
  for (int32_t v = 0; v < 8; ++v) {
    const float delays[] = {1e9f, -1e9f, 1e30f, 661500.0f, 661499.5f, 0.0f, -1.0f};
    put_float(bytes, voice_field_at(v, offsetof(voice_params, delay_time)), delays[soak_below(s, 7)]);
    put_float(bytes, voice_field_at(v, offsetof(voice_params, delay_feedback)), soak_uniform(s) * 4.0f - 2.0f);
    put_float(bytes, voice_field_at(v, offsetof(voice_params, delay_wet)), soak_uniform(s) * 20.0f - 10.0f);
    put_float(bytes, voice_field_at(v, offsetof(voice_params, lp_resonance)), soak_uniform(s) * 400.0f - 200.0f);
    put_float(bytes, voice_field_at(v, offsetof(voice_params, hp_resonance)), soak_uniform(s) * 400.0f - 200.0f);
    put_float(bytes, voice_field_at(v, offsetof(voice_params, lp_cutoff)), soak_uniform(s) * 1e6f - 5e5f);
    put_float(bytes, voice_field_at(v, offsetof(voice_params, hp_cutoff)), soak_uniform(s) * 1e6f - 5e5f);
    put_float(bytes, voice_field_at(v, offsetof(voice_params, volume)), soak_uniform(s) * 3.0f);
  }
  return bytes;
}

std::string zero_divisor(soak_stream* s, std::string bytes) {
  for (int32_t o = 0; o < 8; ++o) {
    if (soak_below(s, 2)) put_float(bytes, osc_field_at(o, offsetof(osc, divisor)), soak_below(s, 2) ? 0.0f : -0.0f);
    if (soak_below(s, 4) == 0) put_float(bytes, osc_field_at(o, offsetof(osc, note)), soak_uniform(s) * 2e4f - 1e4f);
    for (int32_t c = 0; c < 8; ++c) {
      if (soak_below(s, 3) == 0) put_float(bytes, cell_field_at(o, c, offsetof(mod_cell, divisor)), 0.0f);
      if (soak_below(s, 6) == 0) put_u32(bytes, cell_field_at(o, c, offsetof(mod_cell, type)), uint32_t(soak_below(s, MOD_TYPES + 2)));
    }
  }
  return bytes;
}

std::string random_bytes(soak_stream* s, const std::string& shipped) {
  std::string bytes(size_t(soak_below(s, 8192)), '\0');
  for (char& b : bytes) b = char(soak_below(s, 256));
  if (soak_below(s, 2) && bytes.size() >= 12) bytes.replace(0, 12, shipped, 0, 12);
  return bytes;
}

// The four chunk length words: outer list, record, visuals list and its two members.
std::string bad_lengths(soak_stream* s, std::string bytes) {
  const int32_t length_at[] = {4, 16, 3644, 3656, 3984};
  const uint32_t lengths[] = {0u, 3619u, 3621u, 0x7fffffffu, 0x80000000u, 0xffffffffu, 4749u, 1u};
  int32_t count = 1 + soak_below(s, 2);
  for (int32_t k = 0; k < count; ++k) put_u32(bytes, length_at[soak_below(s, 5)], lengths[soak_below(s, 8)]);
  return bytes;
}

// ---- Panel edits, each the way its control writes the field

float between(soak_stream* s, float lo, float hi) { return lo + (hi - lo) * soak_uniform(s); }

void edit_voice(soak_stream* s, voice_params& w) {
  switch (soak_below(s, 9)) {
    case 0: store_relaxed(w.volume, between(s, 0.0f, 1.0f)); break;
    case 1: store_relaxed(w.pan, between(s, -1.0f, 1.0f)); break;
    case 2: store_relaxed(w.delay_wet, between(s, 0.0f, 1.0f)); break;
    case 3: store_relaxed(w.delay_feedback, between(s, 0.0f, 1.0f)); break;
    case 4: store_relaxed(w.delay_time, between(s, 0.0f, 441000.0f)); break;
    case 5: store_relaxed(w.hp_cutoff, midi_to_hz_std(between(s, 0.0f, hz_to_midi_std(22050.0f)))); break;
    case 6: store_relaxed(w.lp_cutoff, midi_to_hz_std(between(s, 0.0f, hz_to_midi_std(22050.0f)))); break;
    case 7: store_relaxed(w.hp_resonance, between(s, 0.0f, 12.0f)); break;
    default: store_relaxed(w.lp_resonance, between(s, 0.0f, 12.0f)); break;
  }
}

void edit_oscillator(soak_stream* s, osc& o) {
  switch (soak_below(s, 6)) {
    case 0: store_relaxed(o.kind, int32_t((int64_t(load_relaxed(o.kind)) + 1) % OSC_WAVEFORMS + OSC_WAVEFORMS) % OSC_WAVEFORMS); break;
    case 1: store_relaxed(o.p1, between(s, 0.0f, 1.0f)); break;
    case 2: store_relaxed(o.p2, between(s, 0.0f, 1.0f)); break;
    case 3: store_relaxed(o.started, 0); break;  // "trig"
    case 4: store_relaxed(o.note, -load_relaxed(o.note)); break;  // "osc" / "lfo"
    default: store_relaxed(o.divisor, quantize_f(between(s, 0.5f, 100.0f), 8)); break;
  }
}

void edit_cell(soak_stream* s, int32_t row, int32_t column) {
  mod_cell& c = synth().cells[row][column];
  if (soak_below(s, 2) && row != column) {
    store_relaxed(c.type, int32_t((int64_t(load_relaxed(c.type)) + 1) % MOD_TYPES + MOD_TYPES) % MOD_TYPES);
  } else {
    store_relaxed(c.amount, between(s, -1.0f, 1.0f) * load_relaxed(c.divisor));
  }
}

}  // namespace

void soak_stream_make(soak_stream* s, uint32_t seed) {
  mt_prng_make(&s->g, seed);
  s->counts = soak_counts{};
}

int soak_stream_add_slots(soak_stream* s, const std::string& folder) {
  int found = 0;
  for (int32_t slot = 0; slot < SLOTS; ++slot) {
    std::ifstream in(folder + "/save-" + std::to_string(slot) + ".dat", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (int32_t(bytes.size()) != SLOT_FILE_BYTES) continue;
    s->slots.push_back(bytes);
    found++;
  }
  return found;
}

float soak_uniform(soak_stream* s) { return float(mt_prng_uint32(&s->g) >> 8) * (1.0f / 16777216.0f); }

int32_t soak_below(soak_stream* s, int32_t n) { return n <= 0 ? 0 : int32_t(mt_prng_uint32(&s->g) % uint32_t(n)); }

void soak_midi_packet(soak_stream* s, midi_packet* p) {
  unsigned char bytes[32];
  int32_t n = 0, events = 1 + soak_below(s, 4);
  for (int32_t k = 0; k < events; ++k) n += put_event(s, bytes + n);
  if (soak_below(s, 8) == 0) n += put_junk(s, bytes + n, int32_t(sizeof bytes) - n);
  midi_packet_make(p, 0, bytes, n);
}

std::string soak_slot_bytes(soak_stream* s, soak_slot_kind kind) {
  if (s->slots.empty()) return std::string();
  const std::string& shipped = s->slots[size_t(soak_below(s, int32_t(s->slots.size())))];
  switch (kind) {
    case SLOT_TRUNCATED: return truncated(s, shipped);
    case SLOT_BIT_FLIPS: return bit_flips(s, shipped);
    case SLOT_NON_FINITE: return non_finite(s, shipped);
    case SLOT_HUGE_DELAY: return huge_delay(s, shipped);
    case SLOT_ZERO_DIVISOR: return zero_divisor(s, shipped);
    case SLOT_RANDOM_BYTES: return random_bytes(s, shipped);
    case SLOT_BAD_LENGTHS: return bad_lengths(s, shipped);
    default: return shipped;
  }
}

void soak_panel_edit(soak_stream* s) {
  s->counts.edits++;
  int32_t i = soak_below(s, 8), pick = soak_below(s, 20);
  if (pick == 0) return store_relaxed(gain, between(s, 0.0f, 3.0f));
  if (pick < 8) return edit_voice(s, synth().voices[i]);
  if (pick < 14) return edit_oscillator(s, synth().oscs[i]);
  edit_cell(s, i, soak_below(s, 8));
}

const char* soak_load(soak_stream* s, const std::string& bytes) {
  byte_array copy{};
  if (!bytes.empty()) array_catb(&copy.raw, bytes.data(), int32_t(bytes.size()));
  stream in;
  stream_make_on_array(&in, STREAM_READ, &copy);
  const char* message = load(&in);
  stream_delete(&in);
  array_reset(copy);
  if (message == PRESET_LOADED) s->counts.loaded++;
  else if (message == PRESET_INCOMPLETE) s->counts.incomplete++;
  else s->counts.refused++;
  return message;
}

void soak_stream_before_block(soak_stream* s) {
  while (soak_uniform(s) < s->packet_chance) {
    midi_packet p;
    soak_midi_packet(s, &p);
    s->counts.packets++;
    s->counts.events += midifn(nullptr, &p);
  }
  while (soak_uniform(s) < s->edit_chance) soak_panel_edit(s);
  if (soak_uniform(s) >= s->load_chance || s->slots.empty()) return;
  auto kind = soak_slot_kind(soak_below(s, 2) ? SLOT_SHIPPED : 1 + soak_below(s, SLOT_KINDS - 1));
  s->counts.loads[kind]++;
  soak_load(s, soak_slot_bytes(s, kind));
}
