// The synthesizer record: eight oscillators, eight voice settings, the 8 x 8 modulation matrix and a fade
// level, stored byte for byte in presets; two of them, double-buffered by index.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>

#include "apps/experiments/fmosc.hpp"
#include "apps/kelvarin/euclid_pulse.hpp"
#include "apps/kelvarin/lsfr.hpp"
#include "pure/music/blit.hpp"
#include "toolset/algos/mt-prng.hpp"

static_assert(std::endian::native == std::endian::little, "stored records are little-endian host copies");

constexpr int32_t VOICES = 8;
constexpr float SAMPLE_RATE = 44100.0f;  // Hz, everywhere: pitch, filters, fades, block times

// The record is a file format; 4-byte packing puts the double phase and the 64-bit Euclidean pattern
// at their stored offsets (oscillators are 196 bytes apart, so those fields are not 8-byte aligned).
#pragma pack(push, 4)

struct ar_state {
  int32_t stage;  // 0 rising, 1 falling, 2 done
  float timer;
  float level;
};
static_assert(sizeof(ar_state) == 12);

// The attack-release and Euclidean areas overlap in bytes 72..79 of an oscillator: a change of kind
// takes over what the other kind left there.
union osc_kind_area {
  ar_state ar;
  struct {
    int32_t under_ar_stage;
    euclid_pulse euclid;
  } rhythm;
};
static_assert(sizeof(osc_kind_area) == 16);

struct osc {
  int32_t kind;  // osc_waveform, 0..11
  fm_synth fm_saw;
  fm_synth fm_square;
  struct lsfr lsfr;
  uint16_t reserved0;
  float random_value;
  osc_kind_area area;
  struct blit blit;
  uint8_t reserved1[8];
  leaky_lp blit_lp;
  int32_t started;  // 0: the generator re-initialises on its next sample
  float divisor;
  float note;       // 57 = BASE_HZ; negative values for slow, low-frequency use
  double phase;     // cycles, reduced modulo 1 after every sample
  float p1;
  float p2;
  float memory[8];  // per source oscillator: the value held by "s&h", the last value seen by "trg"
};

struct voice_params {
  float volume;
  float pan;
  float delay_feedback;
  float delay_wet;
  float delay_time;
  float lp_cutoff;
  float lp_resonance;
  float hp_cutoff;
  float hp_resonance;
  float reserved[15];
};

struct mod_cell {
  int32_t type;  // osc_modulation_type, 0..9
  float amount;
  float divisor;
  float value;      // latest output of the source (row) oscillator
  int32_t wrapped;  // the source's phase passed 1.0 in its latest sample
};

struct synth_state {
  osc oscs[8];
  voice_params voices[8];
  mod_cell cells[8][8];  // [source row][destination column]
  float fade;
};

#pragma pack(pop)

inline ar_state& osc_ar(osc& o) { return o.area.ar; }
inline euclid_pulse& osc_euclid(osc& o) { return o.area.rhythm.euclid; }

static_assert(sizeof(osc) == 196);
static_assert(offsetof(osc, kind) == 0);
static_assert(offsetof(osc, fm_saw) == 4);
static_assert(offsetof(osc, fm_saw) + offsetof(fm_synth, operators) == 16);
static_assert(offsetof(osc, fm_square) == 32);
static_assert(offsetof(osc, fm_square) + offsetof(fm_synth, operators) == 44);
static_assert(offsetof(osc, lsfr) == 60);
static_assert(offsetof(osc, reserved0) == 62);
static_assert(offsetof(osc, random_value) == 64);
static_assert(offsetof(osc, area) == 68);
static_assert(offsetof(osc, area) + offsetof(ar_state, timer) == 72);
static_assert(offsetof(osc, area) + offsetof(ar_state, level) == 76);
static_assert(offsetof(osc, area) + offsetof(osc_kind_area, rhythm.euclid) == 72);
static_assert(offsetof(osc, area) + offsetof(osc_kind_area, rhythm.euclid) + offsetof(euclid_pulse, steps) == 80);
static_assert(offsetof(osc, blit) == 84);
static_assert(offsetof(osc, reserved1) == 112);
static_assert(offsetof(osc, blit_lp) == 120);
static_assert(offsetof(osc, started) == 136);
static_assert(offsetof(osc, divisor) == 140);
static_assert(offsetof(osc, note) == 144);
static_assert(offsetof(osc, phase) == 148);
static_assert(offsetof(osc, p1) == 156);
static_assert(offsetof(osc, p2) == 160);
static_assert(offsetof(osc, memory) == 164);
static_assert(sizeof(voice_params) == 96);
static_assert(offsetof(voice_params, delay_time) == 16);
static_assert(offsetof(voice_params, hp_resonance) == 32);
static_assert(offsetof(voice_params, reserved) == 36);
static_assert(sizeof(mod_cell) == 20);
static_assert(offsetof(mod_cell, wrapped) == 16);
static_assert(offsetof(synth_state, voices) == 1568);
static_assert(offsetof(synth_state, cells) == 2336);
static_assert(offsetof(synth_state, fade) == 3616);
static_assert(sizeof(synth_state) == 3620);

extern synth_state synths[2];
extern int32_t synth_current;  // index of the front record; written only by the preset loader
extern mt_prng prng;            // the program's one random generator
extern float gain;              // master gain, 0..3 from the panel

// The front record: played, edited by the panel and MIDI. Read with acquire so that a record written
// completely by the loader before its flip is seen complete.
synth_state& synth();
synth_state& synth_back();
void synth_flip();

// Whole records cross between the display thread and a playing audio thread by hand-over, never by
// writing a record the audio thread is rendering. While a real-time stream runs (handoff enabled), a
// loaded record waits in a staging record until the audio thread applies it at the start of its next
// block, and a saved record is a copy the audio thread takes there; the display thread waits for that
// (one block, at most 100 ms). A late audio thread keeps the load posted for its next block, and the
// loads and saves after it do not wait again until it runs a block; one that has run none for a second
// has stopped, and the work is done directly. Without a stream (offline renders, tests) both happen at
// once on the calling thread.
void synth_handoff_enable(int on);
// The flip contract of a preset load: `incoming` becomes the back record, keeping the back record's
// operator-array headers and the front record's phases, with fade 0; then the records flip.
void synth_apply_loaded(const synth_state* incoming);
// A copy of the front record as the audio thread left it between two blocks.
void synth_snapshot(synth_state* out);
// Audio thread, first thing in every block: applies a waiting load, serves a waiting snapshot.
void synth_handoff_serve();

void osc_make(osc* o);
void oscs_make();
void modmatrix_note_on(synth_state* state, int32_t voice, int32_t note);
