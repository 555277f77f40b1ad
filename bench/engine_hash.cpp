// Hashes of everything the engine produces, to show that a change of how it works left every sample as it was.
// Prints one line per case (the start-up state, the busy patch, twenty random busy patches with note-ons
// and a preset load): a hash of every output sample and one of the state left behind (both records with
// their operators, the random generator, filters and delay lines). Run it before and after a change and
// compare the lines: build/bin/engine_hash > before.txt ... build/bin/engine_hash | diff before.txt -
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "apps/kelvarin/audio_callback.hpp"
#include "apps/kelvarin/oscillators.hpp"
#include "apps/kelvarin/synth.hpp"
#include "apps/kelvarin/voice_chain.hpp"
#include "bench/busy_patch.hpp"

namespace {

struct fnv {
  uint64_t h = 1469598103934665603ull;
  void add(const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t k = 0; k < n; ++k) h = (h ^ b[k]) * 1099511628211ull;
  }
};

void add_operators(fnv& h, const fm_synth& fs) {
  for (int k = 0; k < fm_synth_osc_array_length(&fs.operators); ++k) {
    h.add(fm_synth_osc_array_get(&fs.operators, k), sizeof(fm_synth_osc));
  }
}

// The records without the operator-array headers (pool handles), plus the operators they point at.
void add_state(fnv& h) {
  for (const synth_state& s : synths) {
    synth_state copy = s;
    for (osc& o : copy.oscs) o.fm_saw.operators = o.fm_square.operators = {};
    h.add(&copy, sizeof copy);
    for (const osc& o : s.oscs) add_operators(h, o.fm_saw), add_operators(h, o.fm_square);
  }
  h.add(&prng, sizeof prng);
  h.add(lps, sizeof lps);
  h.add(chamberlins, sizeof chamberlins);
  h.add(delay_line_tapin, sizeof delay_line_tapin);
  h.add(delay_line_tapout, sizeof delay_line_tapout);
  for (const float_array& line : delay_lines) h.add(array_data(line), sizeof(float) * size_t(array_length(line)));
}

void reset() {
  oscs_make();
  gain = 1.0f;
  init_p = 1;
  synth_current = 0;
  for (int v = 0; v < 8; ++v) {
    std::memset(array_data(delay_lines[v]), 0, sizeof(float) * size_t(array_length(delay_lines[v])));
    delay_line_tapin[v] = delay_line_tapout[v] = 0;
    lps[v] = lp_filter{};
    chamberlins[v] = chamberlin_filter{};
  }
}

// Every kind and every cell type in use, random notes and weights below 1.
void random_record(synth_state& s, uint32_t seed) {
  mt_prng g;
  mt_prng_make(&g, seed);
  for (int i = 0; i < 8; ++i) {
    s.oscs[i].kind = int32_t(mt_prng_uint32(&g) % 12);
    s.oscs[i].note = 30.0f + float(mt_prng_uint32(&g) % 50);
    s.oscs[i].p1 = 0.3f;
    s.oscs[i].p2 = 0.5f;
    s.voices[i].volume = 0.8f;
    s.voices[i].pan = -0.8f + 0.2f * float(i);
    s.voices[i].delay_wet = 0.3f;
    // Odd seeds: echoes of thousands of samples; even seeds: from 1 sample up, read back within the block.
    s.voices[i].delay_time = seed % 2 ? 3000.0f + 700.0f * float(i) : float(1 + 3 * i * i);
    s.voices[i].lp_cutoff = 2000.0f + 900.0f * float(i);
    s.voices[i].lp_resonance = float(i % 4);
    s.voices[i].hp_cutoff = 100.0f;
  }
  for (int k = 0; k < 24; ++k) {
    int row = int(mt_prng_uint32(&g) % 8), column = int(mt_prng_uint32(&g) % 8);
    if (row == column) column = (column + 1) % 8;
    s.cells[row][column] = {2 + k % 8, 0.1f + 0.05f * float(k % 5), 1.0f + float(k % 3), 0.0f, 0};
  }
  s.cells[seed % 8][seed % 8].type = seed % 3 ? 1 : 0;  // a muted voice whose oscillator runs on
}

struct run {
  audio_frame frame{};
  fnv out;
  run() {
    audio_frame_make(&frame);
    frame.report_time = 1e300;
    frame.frame_counter = 1000;  // past the silent start
  }
  ~run() { audio_frame_delete(&frame); }
  void blocks(int n) {
    for (int b = 0; b < n; ++b) {
      audiofn(nullptr, &frame);
      frame.frame_counter++;
      out.add(frame.left, 256 * sizeof(float));
      out.add(frame.right, 256 * sizeof(float));
    }
  }
};

void report(const char* name, run& r) {
  fnv state;
  add_state(state);
  std::printf("%-10s output %016llx state %016llx\n", name, (unsigned long long)r.out.h, (unsigned long long)state.h);
}

}  // namespace

int main() {
  if (!delay_lines_make()) return 1;
  {
    reset();
    run r;
    r.blocks(200);
    report("startup", r);
  }
  {
    reset();
    busy_record(synths[0], 0);
    busy_record(synths[1], 1);
    run r;
    r.blocks(400);
    report("busy", r);
  }
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    reset();
    random_record(synths[0], seed);
    random_record(synths[1], seed + 100);
    run r;
    r.blocks(60);
    for (int v = 0; v < 8; v += 3) modmatrix_note_on(&synth(), v, 40 + int(seed) + v);
    r.blocks(60);
    synth_state next = synth();
    random_record(next, seed + 200);
    synth_apply_loaded(&next);  // the crossfade plays both records
    r.blocks(80);
    char name[16];
    std::snprintf(name, sizeof name, "random%02u", seed);
    report(name, r);
  }
  return 0;
}
