// The controller map and event messages of the instrument's MIDI input.
#include "apps/kelvarin/midi_map.hpp"

#include <cstdio>

#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/panel_history.hpp"
#include "apps/kelvarin/synth.hpp"
#include "toolset/atomics.hpp"

namespace {

constexpr int32_t CC_VOLUME = 7;
constexpr int32_t CC_PAN = 10;
constexpr int32_t CC_KIND = 48;
constexpr int32_t CC_DIVISOR = 49;
constexpr int32_t CC_MATRIX_FIRST = 56;  // eight groups of four: type, amount, divisor, unused
constexpr int32_t CC_MATRIX_LAST = 87;

float divisor_of(int32_t v) { return float(v * 0.25 + 1.0); }

void apply_matrix_cc(synth_state* state, int32_t ch, int32_t cc, int32_t v) {
  int32_t c = (cc - CC_MATRIX_FIRST) / 4;
  int32_t field = (cc - CC_MATRIX_FIRST) % 4;
  printf("modmatrix %d %d = %d %d\n", ch, c, field, v);
  mod_cell& cell = state->cells[ch][c];
  if (field == 0) store_relaxed(cell.type, v % MOD_TYPES);
  if (field == 1) store_relaxed(cell.amount, midi_bipolar(v));
  if (field == 2) store_relaxed(cell.divisor, divisor_of(v));
}

void apply_cc(synth_state* state, int32_t ch, int32_t cc, int32_t v) {
  if (cc == CC_VOLUME) store_relaxed(state->voices[ch].volume, midi_unipolar(v));
  if (cc == CC_PAN) store_relaxed(state->voices[ch].pan, midi_bipolar(v));
  if (cc == CC_KIND) store_relaxed(state->oscs[ch].kind, v % OSC_WAVEFORMS);
  if (cc == CC_DIVISOR) store_relaxed(state->oscs[ch].divisor, divisor_of(v));
  if (cc >= CC_MATRIX_FIRST && cc <= CC_MATRIX_LAST) apply_matrix_cc(state, ch, cc, v);
}

void handle(synth_state* state, const midi_event& e) {
  bool voice = e.channel >= 0 && e.channel < VOICES;
  if (e.kind == MIDI_KIND_CC) {
    printf("received cc %d %d on channel %d\n", e.number, e.value, e.channel);
    if (voice) apply_cc(state, e.channel, e.number, e.value);
  } else if (e.kind == MIDI_KIND_NOTE_ON) {
    printf("received note on: %d %d on channel %d\n", e.number, e.value, e.channel);
    if (voice) modmatrix_note_on(state, e.channel, e.number);
  } else if (e.kind == MIDI_KIND_NOTE_OFF) {
    printf("received note off: %d on channel %d\n", e.number, e.channel);
  }
}

}  // namespace

int midifn(void*, const midi_packet* packet) {
  int32_t n = midi_event_count(packet);
  synth_state* state = &synth();
  for (int32_t i = 0; i < n; ++i) {
    oui_accept_midi();  // the panel's activity light
    midi_event event;
    midi_event_get(packet, &event, i);
    handle(state, event);
  }
  // Lines appear as events arrive, also when standard output is a pipe.
  fflush(stdout);
  return n;
}
