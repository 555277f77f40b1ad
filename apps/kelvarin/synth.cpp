// The two synthesizer records, their default oscillators, voices and matrix, and the front/back flip.
#include "apps/kelvarin/synth.hpp"

#include <chrono>
#include <cstring>
#include <thread>

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

namespace {

synth_state staged_record;   // written by the display thread before `load_pending` is released
synth_state snapshot_record;  // written by the audio thread before `snapshot_ready` is released
int32_t handoff_p = 0;
int32_t load_pending = 0;
int32_t snapshot_request = 0;
int32_t snapshot_ready = 0;
uint32_t blocks_served = 0;  // counted by the audio thread at every block start
// Display thread only: a hand-over the audio thread did not take, and its block count at that moment.
bool stalled_p = false;
uint32_t stalled_blocks = 0;
std::chrono::steady_clock::time_point stalled_at;

constexpr int32_t RECORD_WORDS = int32_t(sizeof(synth_state) / 4);

uint32_t& private_word(synth_state* s, int32_t at) {
  return *reinterpret_cast<uint32_t*>(reinterpret_cast<unsigned char*>(s) + at);
}

// The operator-array headers refer to memory of this process; a loaded record keeps the back record's.
bool private_kept_on_load(int32_t at) {
  int32_t in_osc = at % int32_t(sizeof(osc));
  if (at >= int32_t(offsetof(synth_state, voices))) return false;
  int32_t saw = int32_t(offsetof(osc, fm_saw) + offsetof(fm_synth, operators));
  int32_t square = int32_t(offsetof(osc, fm_square) + offsetof(fm_synth, operators));
  int32_t header = int32_t(sizeof(fm_synth_osc_array));
  return (in_osc >= saw && in_osc < saw + header) || (in_osc >= square && in_osc < square + header);
}

// Word by word with relaxed stores: the MIDI thread may still be writing single fields of this record
// through a reference taken before the last flip.
void private_apply(const synth_state* incoming) {
  synth_state* back = &synth_back();
  synth_state* front = &synth();
  for (int32_t at = 0; at < RECORD_WORDS * 4; at += 4) {
    if (private_kept_on_load(at)) continue;
    uint32_t w;
    std::memcpy(&w, reinterpret_cast<const unsigned char*>(incoming) + at, 4);
    store_relaxed(private_word(back, at), w);
  }
  for (int32_t n = 0; n < VOICES; ++n) {
    int32_t at = n * int32_t(sizeof(osc)) + int32_t(offsetof(osc, phase));
    store_relaxed(private_word(back, at), load_relaxed(private_word(front, at)));
    store_relaxed(private_word(back, at + 4), load_relaxed(private_word(front, at + 4)));
  }
  store_relaxed(back->fade, 0.0f);
  synth_flip();
}

void private_copy_words(synth_state* out, synth_state* in) {
  for (int32_t at = 0; at < RECORD_WORDS * 4; at += 4) {
    uint32_t w = load_relaxed(private_word(in, at));
    std::memcpy(reinterpret_cast<unsigned char*>(out) + at, &w, 4);
  }
}

// Waits up to 100 ms for the audio thread to clear `flag`; true if it did.
bool private_wait_cleared(const int32_t& flag) {
  for (int i = 0; i < 100; ++i) {
    if (!load_acquire(flag)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return !load_acquire(flag);
}

// A request's word: 0 none, 1 posted by the display thread, 2 taken by the audio thread, which clears it
// when done. Taking it (1 -> 2) and taking it back (1 -> 0) exclude each other.
bool private_take(int32_t& flag, int32_t to) {
  int32_t expected = 1;
  return std::atomic_ref<int32_t>(flag).compare_exchange_strong(expected, to, std::memory_order_acq_rel);
}

// Takes back a request the audio thread has not picked up, or waits for the one it is serving (its copy
// of one record, microseconds).
void private_take_back(int32_t& flag) {
  if (private_take(flag, 0)) return;
  while (load_acquire(flag)) std::this_thread::yield();
}

// A missed hand-over only tells that the audio thread is late (a busy machine can hold it off for
// longer than 100 ms while it is in the middle of a block), so the request stays posted for its next
// block and later loads and saves do not wait again while it runs none. A stream that has run no block
// for a whole second has stopped (its server went away): the records are the display thread's again.
bool private_stalled() {
  if (stalled_p && load_relaxed(blocks_served) != stalled_blocks) stalled_p = false;
  return stalled_p;
}

bool private_stopped() {
  return private_stalled() && std::chrono::steady_clock::now() - stalled_at >= std::chrono::seconds(1);
}

void private_note_stall() {
  if (private_stalled()) return;
  stalled_p = true;
  stalled_blocks = load_relaxed(blocks_served);
  stalled_at = std::chrono::steady_clock::now();
}

}  // namespace

void synth_handoff_enable(int on) {
  store_release(handoff_p, on ? 1 : 0);
  if (on) return;
  private_take_back(load_pending);  // a stream that finished leaves nothing to be applied later
  private_take_back(snapshot_request);
}

void synth_apply_loaded(const synth_state* incoming) {
  if (load_acquire(handoff_p)) private_take_back(load_pending);  // a newer load supersedes it
  if (!load_acquire(handoff_p) || private_stopped()) {
    private_apply(incoming);
    return;
  }
  std::memcpy(&staged_record, incoming, sizeof staged_record);
  store_release(load_pending, 1);
  if (private_stalled() || private_wait_cleared(load_pending)) return;
  private_note_stall();  // still posted: the audio thread applies it when it runs again
}

void synth_snapshot(synth_state* out) {
  if (!load_acquire(handoff_p) || private_stopped()) {
    private_copy_words(out, &synth());
    return;
  }
  private_take_back(snapshot_request);
  store_relaxed(snapshot_ready, 0);
  store_release(snapshot_request, 1);
  if (private_stalled() || !private_wait_cleared(snapshot_request)) {
    private_take_back(snapshot_request);
    if (!load_acquire(snapshot_ready)) {
      // The audio thread runs no block: a copy read beside it, as whole words.
      private_note_stall();
      private_copy_words(out, &synth());
      return;
    }
  }
  while (!load_acquire(snapshot_ready)) std::this_thread::yield();
  std::memcpy(out, &snapshot_record, sizeof *out);
}

void synth_handoff_serve() {
  store_relaxed(blocks_served, load_relaxed(blocks_served) + 1);
  if (private_take(load_pending, 2)) {
    private_apply(&staged_record);
    store_release(load_pending, 0);
  }
  if (private_take(snapshot_request, 2)) {
    private_copy_words(&snapshot_record, &synth());
    store_release(snapshot_ready, 1);
    store_release(snapshot_request, 0);
  }
}

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
