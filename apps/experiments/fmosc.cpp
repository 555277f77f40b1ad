// Feedback-FM generators and the fixed pool that holds their operators.
#include "apps/experiments/fmosc.hpp"

#include <atomic>
#include <cmath>
#include <numbers>

namespace {

// Each generator needs at most two operators (types 0 and 1); 32 live in the two synthesizer records.
constexpr int32_t POOL_SLOTS = 4096;
constexpr int32_t SLOT_OPERATORS = 2;
fm_synth_osc pool[POOL_SLOTS][SLOT_OPERATORS];
std::atomic<uint32_t> pool_used{0};

double private_operator_out(fm_synth_osc* op, double beta, double quarter) {
  double arg = std::numbers::pi * (2.0 * double(op->phase) + beta * double(op->feedback) + quarter);
  double y = (std::sin(arg) + double(op->feedback)) * 0.5;
  return std::isfinite(y) ? y : 0.0;  // a non-finite phase must not leave the feedback poisoned
}

// The operators of a generator in one piece (they share one pool slot), or none when it has no storage.
fm_synth_osc* private_operators(const fm_synth_osc_array* a, int32_t* count) {
  *count = fm_synth_osc_array_length(a);
  if (*count <= 0 || a->handle == 0 || a->handle > uint32_t(POOL_SLOTS)) {
    *count = 0;
    return nullptr;
  }
  return pool[a->handle - 1];
}

void private_fm_prepare(fm_synth_osc* ops, int32_t count, const fm_synth* fs) {
  for (int32_t i = 0; i < count; ++i) {
    ops[i].increment = fs->increment;
    ops[i].phase = fs->phase;
  }
}

// fmod(phase, 1) with its sign kept; the phases met in play (one step past a cycle, or slightly
// negative under phase modulation) take the exact short way.
inline float private_unit_remainder(float phase) {
  if (phase >= 0.0f && phase < 1.0f) return phase;
  if (phase >= 1.0f && phase < 2.0f) return phase - 1.0f;  // exact for these values
  if (phase > -1.0f && phase < 0.0f) return phase;
  return float(std::fmod(double(phase), 1.0));
}

void private_fm_wrap(fm_synth_osc* ops, int32_t count) {
  for (int32_t i = 0; i < count; ++i) ops[i].phase = private_unit_remainder(ops[i].phase);
}
}  // namespace

fm_synth_osc* fm_synth_osc_array_allocate(fm_synth_osc_array* a, int32_t index) {
  if (a->failed || index < 0) return nullptr;
  if (index >= SLOT_OPERATORS) return nullptr;
  if (a->handle == 0) {
    uint32_t slot = pool_used.fetch_add(1);
    if (slot >= uint32_t(POOL_SLOTS)) {
      *a = {0, 1, 0, 0};
      return nullptr;
    }
    a->handle = slot + 1;
    a->capacity = int32_t(sizeof(pool[0]));
  }
  int32_t end = (index + 1) * int32_t(sizeof(fm_synth_osc));
  if (end > a->length) {
    for (int32_t i = a->length / int32_t(sizeof(fm_synth_osc)); i <= index; ++i) pool[a->handle - 1][i] = {};
    a->length = end;
  }
  return &pool[a->handle - 1][index];
}

fm_synth_osc* fm_synth_osc_array_get(const fm_synth_osc_array* a, int32_t index) {
  if (a->failed || a->handle == 0 || a->handle > uint32_t(POOL_SLOTS) || index < 0) return nullptr;
  if (index >= fm_synth_osc_array_length(a)) return nullptr;
  return &pool[a->handle - 1][index];
}

int32_t fm_synth_osc_array_length(const fm_synth_osc_array* a) {
  if (a->failed) return -1;
  int32_t n = a->length / int32_t(sizeof(fm_synth_osc));
  return n > SLOT_OPERATORS ? SLOT_OPERATORS : n;
}

void fm_synth_osc_make(fm_synth_osc* op, float phase) {
  op->increment = 0.25f;
  op->phase = phase;
  op->feedback = 0.0f;
}

void fm_synth_setup(fm_synth* fs, int32_t type) {
  fs->type = type;
  if (type == 0) fm_synth_osc_array_allocate(&fs->operators, 0);
  if (type == 1) fm_synth_osc_array_allocate(&fs->operators, 1);
  int32_t n = fm_synth_osc_array_length(&fs->operators);
  for (int32_t i = 0; i < n; ++i) fm_synth_osc_make(fm_synth_osc_array_get(&fs->operators, i), 0.0f);
}

// A generator made again (oscs_make at start-up, or in tests) keeps its pool slot: the array is emptied,
// not abandoned, so repeated makes never exhaust the pool.
void fm_synth_make(fm_synth* fs) {
  fm_synth_osc_array& a = fs->operators;
  bool owns_slot = !a.failed && a.handle >= 1 && a.handle <= uint32_t(POOL_SLOTS);
  a = owns_slot ? fm_synth_osc_array{a.handle, 0, 0, int32_t(sizeof(pool[0]))} : fm_synth_osc_array{0, 0, 0, 0};
  fm_synth_setup(fs, 0);
}

namespace {

// One operator's share of a sawtooth sample: its output through the high-pass, centred and normalised.
// Its phase advances and is wrapped by the caller.
inline double private_saw_operator(fm_synth_osc* op, double beta, double d, double s) {
  double y = private_operator_out(op, beta, 0.0);
  double h = high_pass_1(y, op->feedback);
  op->feedback = float(y);
  op->phase += op->increment;
  return (h + d) * s;
}

// Operators work in pairs; the second of a pair (k = 1) runs a quarter cycle ahead and is subtracted.
inline double private_square_operator(fm_synth_osc* op, int32_t k, double beta, double s) {
  double y = private_operator_out(op, beta, 0.5 * k);
  double h = high_pass_1(y, op->feedback);
  op->feedback = float(y);
  op->phase += op->increment;
  return (1 - 2 * k) * (h * s);
}

inline double private_saw_sample(fm_synth_osc* ops, int32_t count, double beta, double d, double s) {
  double acc = 0.0;
  for (int32_t k = 0; k < count; ++k) acc += private_saw_operator(&ops[k], beta, d, s);
  return acc;
}

inline double private_square_sample(fm_synth_osc* ops, int32_t pairs, double beta, double s) {
  double acc = 0.0;
  for (int32_t k = 0; k < 2 * pairs; ++k) acc += private_square_operator(&ops[k], k & 1, beta, s);
  return acc;
}

}  // namespace

void fm_synth_saw(fm_synth* fs, float* out, int n) {
  int32_t count = 0;
  fm_synth_osc* ops = private_operators(&fs->operators, &count);
  private_fm_prepare(ops, count, fs);
  float f = fs->increment;
  double d = dc_remove(0.0f, f), s = high_pass_1_normalize(1.0, f), beta = beta_3(f);
  for (int i = 0; i < n; ++i) out[i] = float(private_saw_sample(ops, count, beta, d, s));
  private_fm_wrap(ops, count);
}

void fm_synth_square(fm_synth* fs, float* out, int n) {
  int32_t count = 0;
  fm_synth_osc* ops = private_operators(&fs->operators, &count);
  private_fm_prepare(ops, count, fs);
  float f = fs->increment;
  double s = high_pass_1_normalize(1.0, f), beta = beta_3(f);
  for (int i = 0; i < n; ++i) out[i] = float(private_square_sample(ops, count / 2, beta, s));
  private_fm_wrap(ops, count);
}

// A single sample is the block form with n = 1: each operator is prepared, run and wrapped in turn.
float fm_synth_saw_next(fm_synth* fs, float increment, float phase) {
  fs->increment = increment;
  fs->phase = phase;
  int32_t count = 0;
  fm_synth_osc* ops = private_operators(&fs->operators, &count);
  double d = dc_remove(0.0f, increment), s = high_pass_1_normalize(1.0, increment), beta = beta_3(increment);
  double acc = 0.0;
  for (int32_t k = 0; k < count; ++k) {
    ops[k].increment = increment;
    ops[k].phase = phase;
    acc += private_saw_operator(&ops[k], beta, d, s);
    ops[k].phase = private_unit_remainder(ops[k].phase);
  }
  return float(acc);
}

float fm_synth_square_next(fm_synth* fs, float increment, float phase) {
  fs->increment = increment;
  fs->phase = phase;
  int32_t count = 0;
  fm_synth_osc* ops = private_operators(&fs->operators, &count);
  double s = high_pass_1_normalize(1.0, increment), beta = beta_3(increment);
  int32_t paired = count / 2 * 2;
  double acc = 0.0;
  for (int32_t k = 0; k < count; ++k) {
    ops[k].increment = increment;
    ops[k].phase = phase;
    if (k < paired) acc += private_square_operator(&ops[k], k & 1, beta, s);
    ops[k].phase = private_unit_remainder(ops[k].phase);
  }
  return float(acc);
}
