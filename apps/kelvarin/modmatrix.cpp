// Evaluation of the modulation matrix, sample by sample, with a per-block plan of the acting cells.
#include "apps/kelvarin/modmatrix.hpp"

#include <bit>
#include <cmath>

#include "apps/kelvarin/oscillators.hpp"
#include "pure/music/notes.hpp"
#include "toolset/atomics.hpp"

namespace {

// The running phase modulo 1, sign kept. The common cases avoid fmod and give the same result exactly;
// a phase that is not finite (divisor 0, a non-finite note or weight) restarts at 0, because a NaN
// phase would silence the oscillator for good, across preset loads too.
inline double private_wrap_phase(float next) {
  double x = double(next);
  if (!std::isfinite(x)) return 0.0;
  if (x >= 0.0 && x < 1.0) return x;
  if (x >= 1.0 && x < 2.0) return x - 1.0;
  if (x > -1.0 && x < 0.0) return x;
  return std::fmod(x, 1.0);
}

inline float private_weight(const mod_cell& c) { return (1.0f / load_relaxed(c.divisor)) * load_relaxed(c.amount); }

inline bool private_acts(int32_t type) { return type >= MOD_AMP && type <= MOD_PR2; }

inline bool private_has(const mod_destination& d, mod_group g) { return (d.groups >> g) & 1u; }

inline float private_sum(float sum, const mod_destination& d, mod_group g) {
  if (!private_has(d, g)) return sum;
  for (int32_t k = d.group_begin[g]; k < d.group_begin[g + 1]; ++k) sum = sum + d.w[k] * d.values[k];
  return sum;
}

// "frq" scales the frequency; "phs" shifts the phase by the frequency as it stands at that cell.
inline void private_pitch_cells(const mod_destination& d, float* f, float* phi) {
  if (!private_has(d, GROUP_PITCH)) return;
  for (int32_t k = d.group_begin[GROUP_PITCH]; k < d.group_begin[GROUP_PITCH + 1]; ++k) {
    double v = d.values[k];
    if (d.type[k] == MOD_FRQ) *f = float(double(*f) + std::fabs(double(*f)) * double(d.w[k]) * v);
    else *phi = float(double(*phi) + double(d.w[k]) * double(*f) * v / double(SAMPLE_RATE));
  }
}

// "trg" fires when the weighted source drops by more than 0.5 since the previous sample.
inline int32_t private_triggers(osc& o, const mod_destination& d, int32_t restart) {
  if (!private_has(d, GROUP_TRG)) return restart;
  for (int32_t k = d.group_begin[GROUP_TRG]; k < d.group_begin[GROUP_TRG + 1]; ++k) {
    float x = d.w[k] * d.values[k];
    if (o.memory[d.source[k]] - x > 0.5f) restart = 0;
    o.memory[d.source[k]] = x;
  }
  return restart;
}

// "s&h" takes the weighted source at the destination's wrap and adds the value held since.
inline float private_held(osc& o, const mod_destination& d, float added, bool wrapped) {
  if (!private_has(d, GROUP_SH)) return added;
  for (int32_t k = d.group_begin[GROUP_SH]; k < d.group_begin[GROUP_SH + 1]; ++k) {
    if (wrapped) o.memory[d.source[k]] = d.w[k] * d.values[k];
    added = added + o.memory[d.source[k]];
  }
  return added;
}

// One destination oscillator for one sample; `d` lists the cells of its column that act and the values
// they read. Returns the output and sets `wrapped`.
[[gnu::always_inline]] inline float private_evaluate(osc& o, const mod_destination& d, float hz, bool* wrapped) {
  osc_generator generator = osc_generator_of(load_relaxed(o.kind));
  float f = hz / load_relaxed(o.divisor);
  int32_t started = load_acquire(o.started);
  float phi = float(o.phase);
  private_pitch_cells(d, &f, &phi);
  float level = private_sum(0.0f, d, GROUP_LEVEL);
  float added = private_sum(0.0f, d, GROUP_MIX);
  float p1 = private_sum(load_relaxed(o.p1), d, GROUP_PR1);
  float p2 = private_sum(load_relaxed(o.p2), d, GROUP_PR2);
  int32_t restart = private_triggers(o, d, started);
  float increment = float(double(f) * (1.0 / double(SAMPLE_RATE)));
  float next = phi + increment;
  *wrapped = next >= 1.0f;
  added = private_held(o, d, added, *wrapped);
  float r = generator(&o, restart, phi, 1.0f, increment, p1, p2);
  float out = level * (added + r);
  if (!std::isnormal(out)) out = 0.0f;  // NaN, infinities and subnormals never reach other oscillators
  // Loops of "amp", "mix" and "s&h" cells can feed an oscillator back into itself and grow without end;
  // held at +36 dB over full scale, far above anything a patch sounds at, they stay finite and audible.
  out = out > OSC_OUTPUT_LIMIT ? OSC_OUTPUT_LIMIT : (out < -OSC_OUTPUT_LIMIT ? -OSC_OUTPUT_LIMIT : out);
  o.phase = private_wrap_phase(next);
  if (started == 0) store_relaxed(o.started, 1);
  return out;
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

// Column i of the matrix as the evaluator reads it: the acting cells and the diagonal, grouped, each
// group in source order.
void private_gather(mod_destination* d, const synth_state& s, int32_t i) {
  int32_t types[VOICES];
  for (int32_t j = 0; j < VOICES; ++j) types[j] = j == i ? int32_t(MOD_AMP) : load_relaxed(s.cells[j][i].type);
  d->count = 0;
  for (int32_t g = 0; g < GROUPS; ++g) {
    d->group_begin[g] = int8_t(d->count);
    for (int32_t j = 0; j < VOICES; ++j) {
      if (!private_acts(types[j]) || private_group_of(types[j]) != g) continue;
      const mod_cell& c = s.cells[j][i];
      d->source[d->count] = j;
      d->type[d->count] = types[j];
      d->w[d->count] = private_weight(c);
      d->values[d->count] = j == i ? 1.0f : load_relaxed(c.value);  // w * 1 adds exactly the weight
      d->count++;
    }
  }
  d->group_begin[GROUPS] = int8_t(d->count);
  d->groups = 0;
  for (int32_t g = 0; g < GROUPS; ++g) d->groups |= d->group_begin[g] < d->group_begin[g + 1] ? 1u << g : 0u;
}

int32_t private_published(const synth_state& s, int32_t i) {
  int32_t bits = 0;
  for (int32_t k = 0; k < VOICES; ++k) bits |= load_relaxed(s.cells[i][k].type) != 0 ? 1 << k : 0;
  return bits;
}

void private_publish(synth_state& s, int32_t i, int32_t published, float out, bool wrapped) {
  for (int32_t k = 0; k < VOICES; ++k) {
    store_relaxed(s.cells[i][k].value, (published >> k) & 1 ? out : 0.0f);
    store_relaxed(s.cells[i][k].wrapped, wrapped ? 1 : 0);
  }
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

}  // namespace

void modmatrix_osc(synth_state* state) {
  synth_state& s = *state;
  for (int32_t i = 0; i < VOICES; ++i) {
    mod_destination d;
    private_gather(&d, s, i);
    bool wrapped = false;
    float out = private_evaluate(s.oscs[i], d, midi_to_hz_std(load_relaxed(s.oscs[i].note)), &wrapped);
    private_publish(s, i, private_published(s, i), out, wrapped);
  }
}

void modmatrix_plan_make(modmatrix_plan* plan, const synth_state* state) {
  uint32_t base_bits = std::bit_cast<uint32_t>(BASE_HZ);
  if (plan->pitch_base_bits != base_bits) plan->pitch_valid = 0;
  plan->pitch_base_bits = base_bits;
  for (int32_t j = 0; j < VOICES; ++j) plan->fan_count[j] = 0;
  for (int32_t i = 0; i < VOICES; ++i) {
    mod_destination& d = plan->destinations[i];
    private_gather(&d, *state, i);
    plan->published[i] = private_published(*state, i);
    for (int32_t k = 0; k < d.count; ++k) {
      int32_t j = d.source[k];
      if (j == i) continue;
      plan->fan_destination[j][plan->fan_count[j]] = int8_t(i);
      plan->fan_link[j][plan->fan_count[j]] = int8_t(k);
      plan->fan_count[j]++;
    }
  }
}

void modmatrix_render(synth_state* state, modmatrix_plan* plan, float (*voices)[256], int32_t frames) {
  synth_state& s = *state;
  for (int32_t n = 0; n < frames && n < 256; ++n) {
    for (int32_t i = 0; i < VOICES; ++i) {
      osc& o = s.oscs[i];
      bool wrapped = false;
      float out = private_evaluate(o, plan->destinations[i], private_pitch(plan, i, load_relaxed(o.note)), &wrapped);
      for (int32_t f = 0; f < plan->fan_count[i]; ++f) {
        plan->destinations[plan->fan_destination[i][f]].values[plan->fan_link[i][f]] = out;
      }
      plan->last_out[i] = out;
      plan->last_wrapped[i] = wrapped ? 1 : 0;
      voices[i][n] = (plan->published[i] >> i) & 1 ? out : 0.0f;
    }
  }
  if (frames <= 0) return;
  for (int32_t i = 0; i < VOICES; ++i) private_publish(s, i, plan->published[i], plan->last_out[i], plan->last_wrapped[i]);
}
