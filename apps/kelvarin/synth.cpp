// The two synthesizer records, their default oscillators, voices and matrix, and the front/back flip.
#include "apps/kelvarin/synth.hpp"

#include <cstring>

#include "pure/music/notes.hpp"
#include "toolset/algos/chance.hpp"
#include "toolset/atomics.hpp"

synth_state synths[2];
int32_t synth_current = 0;
mt_prng prng;
float gain = 1.0f;

synth_state& synth() { return synths[load_acquire(synth_current)]; }
synth_state& synth_back() { return synths[1 - load_acquire(synth_current)]; }
void synth_flip() { store_release(synth_current, 1 - load_relaxed(synth_current)); }

void osc_make(osc* o) {
  o->kind = 0;
  o->divisor = 1.0f;
  o->note = 57.0f;
  o->phase = double(uniform_rand(&prng));
  o->p1 = 0.0f;
  o->p2 = 0.0f;
  o->started = 0;
  fm_synth_make(&o->fm_saw);
  fm_synth_setup(&o->fm_saw, 0);
  fm_synth_make(&o->fm_square);
  fm_synth_setup(&o->fm_square, 1);
  lsfr_make(&o->lsfr, 0xDEAD);
  euclid_pulse_make(&osc_euclid(*o), 3, 8);
  blit_make(&o->blit, 0.5f);
  leaky_lp_make(&o->blit_lp, 0.00001f);
  std::memset(o->memory, 0, sizeof o->memory);
}

namespace {
void private_default_row(synth_state& s, int32_t n) {
  for (int32_t c = 0; c < VOICES; ++c) {
    mod_cell& cell = s.cells[n][c];
    cell.type = c == n ? 1 : 0;
    cell.amount = c == n ? 1.0f : 0.0f;
    cell.divisor = 1.0f;
  }
}

void private_default_voice(voice_params& v) {
  std::memset(&v, 0, sizeof v);
  v.delay_feedback = 0.75f;
  v.delay_time = 14700.0f;
  v.lp_cutoff = 22050.0f;
}
}  // namespace

void oscs_make() {
  BASE_HZ = 440.0f;
  mt_prng_make(&prng, 52724297u);
  for (synth_state& s : synths) {
    for (int32_t n = 0; n < VOICES; ++n) {
      osc_make(&s.oscs[n]);
      private_default_row(s, n);
      private_default_voice(s.voices[n]);
    }
  }
  synth().fade = 1.0f;
  synth_back().fade = 0.0f;
}

// Note first, then the restart flag with release: the evaluator that acquires `started` == 0 restarts
// at the new pitch.
void modmatrix_note_on(synth_state* state, int32_t voice, int32_t note) {
  if (voice < 0 || voice >= VOICES) return;
  store_relaxed(state->oscs[voice].note, float(note));
  store_release(state->oscs[voice].started, 0);
}
