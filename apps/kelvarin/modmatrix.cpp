// Evaluation of the modulation matrix: cell by cell per sample, and per block with a plan of the acting cells.
#include "apps/kelvarin/modmatrix.hpp"

#include <bit>
#include <cfloat>
#include <cmath>

#include "apps/kelvarin/oscillators.hpp"
#include "pure/music/notes.hpp"
#include "toolset/atomics.hpp"

namespace {

// The running phase modulo 1, sign kept. The common cases avoid fmod and give the same result exactly;
// a phase that is not finite (divisor 0, a non-finite note or weight) restarts at 0, because a NaN
// phase would silence the oscillator for good, across preset loads too. (NaN fails every comparison.)
[[gnu::always_inline]] inline double private_wrap_phase(float next) {
  double x = double(next);
  if (x >= 0.0 && x < 1.0) return x;
  if (x >= 1.0 && x < 2.0) return x - 1.0;
  if (x > -1.0 && x < 0.0) return x;
  if (!std::isfinite(x)) return 0.0;
  return std::fmod(x, 1.0);
}

inline float private_weight(const mod_cell& c) { return (1.0f / load_relaxed(c.divisor)) * load_relaxed(c.amount); }

// "frq" scales the frequency; "phs" shifts the phase by the frequency as it stands at that cell.
inline float private_frq(float f, float w, float v) {
  return float(double(f) + std::fabs(double(f)) * double(w) * double(v));
}
inline float private_phs(float phi, float f, float w, float v) {
  return float(double(phi) + double(w) * double(f) * double(v) / double(SAMPLE_RATE));
}

inline float private_increment(float f) { return float(double(f) * (1.0 / double(SAMPLE_RATE))); }

// NaN, infinities and subnormals never reach other oscillators. Loops of "amp", "mix" and "s&h" cells
// can feed an oscillator back into itself and grow without end; held at +36 dB over full scale, far
// above anything a patch sounds at, they stay finite and audible.
inline float private_limit(float out) {
  // Normal and within bounds: the magnitudes of floats order as their bit patterns (NaN above all).
  constexpr uint32_t SMALLEST = std::bit_cast<uint32_t>(FLT_MIN);
  constexpr uint32_t LARGEST = std::bit_cast<uint32_t>(OSC_OUTPUT_LIMIT);
  if ((std::bit_cast<uint32_t>(out) & 0x7FFFFFFFu) - SMALLEST <= LARGEST - SMALLEST) return out;
  if (!std::isnormal(out)) return 0.0f;
  return out > 0.0f ? OSC_OUTPUT_LIMIT : -OSC_OUTPUT_LIMIT;
}

void private_publish(synth_state& s, int32_t i, int32_t published, float out, bool wrapped) {
  for (int32_t k = 0; k < VOICES; ++k) {
    store_relaxed(s.cells[i][k].value, (published >> k) & 1 ? out : 0.0f);
    store_relaxed(s.cells[i][k].wrapped, wrapped ? 1 : 0);
  }
}

int32_t private_published(const synth_state& s, int32_t i) {
  int32_t bits = 0;
  for (int32_t k = 0; k < VOICES; ++k) bits |= load_relaxed(s.cells[i][k].type) != 0 ? 1 << k : 0;
  return bits;
}

// ==== Cell by cell: destination i reads its column in source order, one sample.

// "s&h" takes the weighted source at the destination's wrap and adds the value held since.
float private_held_cells(const synth_state& s, osc& o, int32_t i, float added, bool wrapped) {
  for (int32_t j = 0; j < VOICES; ++j) {
    const mod_cell& c = s.cells[j][i];
    if (j == i || load_relaxed(c.type) != MOD_SH) continue;
    if (wrapped) o.memory[j] = private_weight(c) * load_relaxed(c.value);
    added = added + o.memory[j];
  }
  return added;
}

float private_evaluate_cells(synth_state& s, int32_t i, bool* wrapped) {
  osc& o = s.oscs[i];
  osc_generator generator = osc_generator_of(load_relaxed(o.kind));
  int32_t started = load_acquire(o.started);
  float f = midi_to_hz_std(load_relaxed(o.note)) / load_relaxed(o.divisor);
  float phi = float(o.phase), level = 0.0f, added = 0.0f, p1 = load_relaxed(o.p1), p2 = load_relaxed(o.p2);
  int32_t restart = started;
  bool hold = false;
  for (int32_t j = 0; j < VOICES; ++j) {
    const mod_cell& c = s.cells[j][i];
    float w = private_weight(c), v = load_relaxed(c.value);
    if (j == i) {
      level = level + w;  // the diagonal, whatever its type
      continue;
    }
    switch (load_relaxed(c.type)) {
      case MOD_AMP: level = level + w * v; break;
      case MOD_PHS: phi = private_phs(phi, f, w, v); break;
      case MOD_FRQ: f = private_frq(f, w, v); break;
      case MOD_MIX: added = added + w * v; break;
      case MOD_SH: hold = true; break;
      case MOD_TRG:  // fires when the weighted source drops by more than 0.5 since the previous sample
        if (o.memory[j] - w * v > 0.5f) restart = 0;
        o.memory[j] = w * v;
        break;
      case MOD_PR1: p1 = p1 + w * v; break;
      case MOD_PR2: p2 = p2 + w * v; break;
      default: break;
    }
  }
  float increment = private_increment(f);
  float next = phi + increment;
  *wrapped = next >= 1.0f;
  if (hold) added = private_held_cells(s, o, i, added, *wrapped);
  float r = generator(&o, restart, phi, 1.0f, increment, p1, p2);
  float out = private_limit(level * (added + r));
  o.phase = private_wrap_phase(next);
  if (started == 0) store_relaxed(o.started, 1);
  return out;
}

// ==== By plan: per destination the links that act, grouped, and the settings read once per block.

inline bool private_has(const mod_destination& d, mod_group g) { return (d.groups >> g) & 1u; }

[[gnu::always_inline]] inline float private_sum(float sum, const mod_destination& d, const float* slots, mod_group g) {
  if (!private_has(d, g)) return sum;
  for (int32_t k = d.begin[g]; k < d.end[g]; ++k) sum = sum + d.w[k] * slots[d.slot[k]];
  return sum;
}

[[gnu::always_inline]] inline void private_pitch_links(const mod_destination& d, const float* slots, float* f,
                                                       float* phi) {
  for (int32_t k = d.begin[GROUP_PITCH]; k < d.end[GROUP_PITCH]; ++k) {
    float v = slots[d.slot[k]];
    if (d.frq[k]) *f = private_frq(*f, d.w[k], v);
    else *phi = private_phs(*phi, *f, d.w[k], v);
  }
}

[[gnu::always_inline]] inline int32_t private_triggers(osc& o, const mod_destination& d, const float* slots,
                                                       int32_t restart) {
  if (!private_has(d, GROUP_TRG)) return restart;
  for (int32_t k = d.begin[GROUP_TRG]; k < d.end[GROUP_TRG]; ++k) {
    float x = d.w[k] * slots[d.slot[k]];
    if (o.memory[d.source[k]] - x > 0.5f) restart = 0;
    o.memory[d.source[k]] = x;
  }
  return restart;
}

[[gnu::always_inline]] inline float private_held(osc& o, const mod_destination& d, const float* slots, float added,
                                                  bool wrapped) {
  if (!private_has(d, GROUP_SH)) return added;
  for (int32_t k = d.begin[GROUP_SH]; k < d.end[GROUP_SH]; ++k) {
    if (wrapped) o.memory[d.source[k]] = d.w[k] * slots[d.slot[k]];
    added = added + o.memory[d.source[k]];
  }
  return added;
}

// One destination for one sample with its generator known at compile time, so that it is inlined.
template <osc_generator Generator>
[[gnu::always_inline]] inline float private_evaluate(osc& o, const mod_destination& d, const float* slots,
                                                     int32_t* wrapped) {
  float phi = float(o.phase);
  float increment = d.increment;
  if (private_has(d, GROUP_PITCH)) {
    float f = d.hz;
    private_pitch_links(d, slots, &f, &phi);
    increment = private_increment(f);
  }
  float level = private_sum(d.level, d, slots, GROUP_LEVEL);
  float added = private_sum(0.0f, d, slots, GROUP_MIX);
  float p1 = private_sum(d.p1, d, slots, GROUP_PR1);
  float p2 = private_sum(d.p2, d, slots, GROUP_PR2);
  int32_t restart = private_triggers(o, d, slots, d.started);
  float next = phi + increment;
  bool wraps = next >= 1.0f;
  *wrapped = wraps ? 1 : 0;
  added = private_held(o, d, slots, added, wraps);
  float r = Generator(&o, restart, phi, 1.0f, increment, p1, p2);
  float out = private_limit(level * (added + r));
  o.phase = private_wrap_phase(next);
  return out;
}

[[gnu::always_inline]] inline float private_evaluate_kind(osc& o, const mod_destination& d, const float* slots,
                                                          int32_t* wrapped) {
  switch (d.kind) {
    case OSC_SIN: return private_evaluate<sine_osc>(o, d, slots, wrapped);
    case OSC_TRI: return private_evaluate<bl_triangle_osc>(o, d, slots, wrapped);
    case OSC_SAW: return private_evaluate<fm_saw_osc>(o, d, slots, wrapped);
    case OSC_SQU: return private_evaluate<fm_square_osc>(o, d, slots, wrapped);
    case OSC_NOI: return private_evaluate<random_osc>(o, d, slots, wrapped);
    case OSC_REG: return private_evaluate<lsfr_osc>(o, d, slots, wrapped);
    case OSC_AR: return private_evaluate<ar_osc>(o, d, slots, wrapped);
    case OSC_EUC: return private_evaluate<euclid_osc>(o, d, slots, wrapped);
    case OSC_BSW: return private_evaluate<bl_saw_osc>(o, d, slots, wrapped);
    case OSC_BSQ: return private_evaluate<bl_square_osc>(o, d, slots, wrapped);
    case OSC_FIV: return private_evaluate<lsfr_val_osc>(o, d, slots, wrapped);
    default: return private_evaluate<null_osc>(o, d, slots, wrapped);
  }
}

// One sample of all eight oscillators; each output goes into its slot at once, where the later
// destinations of this sample and the earlier ones of the next read it.
inline void private_render_sample(synth_state& s, modmatrix_plan& plan, float (*voices)[256], int32_t n) {
  for (int32_t i = 0; i < VOICES; ++i) {
    float out = private_evaluate_kind(s.oscs[i], plan.destinations[i], plan.slots, &plan.wrapped[i]);
    plan.slots[i] = out;
    voices[i][n] = out;  // a voice whose diagonal is "zro" is cleared after the block
  }
}

// After the first sample of a block every source has run, so every link reads its source's slot; the
// restarted generators have restarted.
void private_settle(synth_state& s, modmatrix_plan& plan) {
  for (int32_t i = 0; i < VOICES; ++i) {
    mod_destination& d = plan.destinations[i];
    for (int32_t k = 0; k < d.count; ++k) d.slot[k] = uint8_t(d.source[k] == i ? SLOT_ONE : d.source[k]);
    if (d.started == 0) store_relaxed(s.oscs[i].started, 1);
    d.started = 1;
  }
}

mod_group private_group_of(int32_t type) {
  switch (type) {
    case MOD_PHS:
    case MOD_FRQ: return GROUP_PITCH;
    case MOD_MIX: return GROUP_MIX;
    case MOD_SH: return GROUP_SH;
    case MOD_TRG: return GROUP_TRG;
    case MOD_PR1: return GROUP_PR1;
    case MOD_PR2: return GROUP_PR2;
    default: return GROUP_LEVEL;
  }
}

inline bool private_acts(int32_t type) { return type >= MOD_AMP && type <= MOD_PR2; }

// Column i as the first sample of the block reads it: a source before i has already run in this
// sample, the diagonal reads 1 (w * 1 adds exactly the weight), any other source the cell's value.
void private_gather(modmatrix_plan& plan, const synth_state& s, int32_t i) {
  mod_destination& d = plan.destinations[i];
  int32_t types[VOICES];
  for (int32_t j = 0; j < VOICES; ++j) types[j] = j == i ? int32_t(MOD_AMP) : load_relaxed(s.cells[j][i].type);
  int32_t count = 0;
  for (int32_t g = 0; g < GROUPS; ++g) {
    d.begin[g] = int8_t(count);
    for (int32_t j = 0; j < VOICES; ++j) {
      if (!private_acts(types[j]) || private_group_of(types[j]) != g) continue;
      const mod_cell& c = s.cells[j][i];
      int32_t stored = SLOT_STORED + 8 * i + count;
      plan.slots[stored] = load_relaxed(c.value);
      d.source[count] = int8_t(j);
      d.slot[count] = uint8_t(j == i ? SLOT_ONE : (j < i ? j : stored));
      d.frq[count] = types[j] == MOD_FRQ ? 1 : 0;
      d.w[count] = private_weight(c);
      count++;
    }
    d.end[g] = int8_t(count);
  }
  d.count = count;
  // The sum of the level links up to the first that reads an oscillator is the same in every sample.
  d.level = 0.0f;
  int8_t& first = d.begin[GROUP_LEVEL];
  for (; first < d.end[GROUP_LEVEL] && d.slot[first] == SLOT_ONE; ++first) {
    d.level = d.level + d.w[first] * plan.slots[SLOT_ONE];
  }
  d.groups = 0;
  for (int32_t g = 0; g < GROUPS; ++g) d.groups |= d.begin[g] < d.end[g] ? 1u << g : 0u;
}

// midi_to_hz_std costs a double power; it is recomputed only when the note changes (compared bit for
// bit, so the result is the one the power would give). The plan drops the cache when the base changes.
float private_pitch(modmatrix_plan* plan, int32_t i, float note) {
  uint32_t note_bits = std::bit_cast<uint32_t>(note);
  if (((plan->pitch_valid >> i) & 1u) && plan->pitch_note_bits[i] == note_bits) return plan->pitch_hz[i];
  plan->pitch_hz[i] = midi_to_hz(note, std::bit_cast<float>(plan->pitch_base_bits));
  plan->pitch_note_bits[i] = note_bits;
  plan->pitch_valid |= 1u << i;
  return plan->pitch_hz[i];
}

// The oscillator's settings for the block; `started` first, with acquire, so that a note-on's pitch,
// written before it, is the one read.
void private_settings(modmatrix_plan* plan, const osc& o, int32_t i) {
  mod_destination& d = plan->destinations[i];
  d.started = load_acquire(o.started);
  d.kind = load_relaxed(o.kind);
  d.hz = private_pitch(plan, i, load_relaxed(o.note)) / load_relaxed(o.divisor);
  d.increment = private_increment(d.hz);
  d.p1 = load_relaxed(o.p1);
  d.p2 = load_relaxed(o.p2);
}

}  // namespace

void modmatrix_osc(synth_state* state) {
  synth_state& s = *state;
  for (int32_t i = 0; i < VOICES; ++i) {
    bool wrapped = false;
    float out = private_evaluate_cells(s, i, &wrapped);
    private_publish(s, i, private_published(s, i), out, wrapped);
  }
}

void modmatrix_plan_make(modmatrix_plan* plan, const synth_state* state) {
  uint32_t base_bits = std::bit_cast<uint32_t>(BASE_HZ);
  if (plan->pitch_base_bits != base_bits) plan->pitch_valid = 0;
  plan->pitch_base_bits = base_bits;
  plan->slots[SLOT_ONE] = 1.0f;  // before the gathering, which sums constant links
  for (int32_t i = 0; i < VOICES; ++i) {
    private_settings(plan, state->oscs[i], i);
    private_gather(*plan, *state, i);
    plan->published[i] = private_published(*state, i);
  }
}

void modmatrix_render(synth_state* state, modmatrix_plan* plan, float (*voices)[256], int32_t frames) {
  if (frames <= 0) return;
  synth_state& s = *state;
  private_render_sample(s, *plan, voices, 0);
  private_settle(s, *plan);
  for (int32_t n = 1; n < frames && n < 256; ++n) private_render_sample(s, *plan, voices, n);
  for (int32_t i = 0; i < VOICES; ++i) {
    if ((plan->published[i] >> i) & 1) continue;
    for (int32_t n = 0; n < frames && n < 256; ++n) voices[i][n] = 0.0f;
  }
  for (int32_t i = 0; i < VOICES; ++i) private_publish(s, i, plan->published[i], plan->slots[i], plan->wrapped[i]);
}
