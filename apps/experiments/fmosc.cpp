// Feedback-FM generators and the fixed pool that holds their operators.
#include "apps/experiments/fmosc.hpp"

#include <atomic>
#include <cmath>
#include <numbers>

#include "pure/music/near_trig.hpp"

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

// The per-sample forms first take each operator's sine from near_sin and carry a bound on how far every
// value may lie from the one the library's sine gives: the sine's own error, then both evaluations'
// roundings at each step (each term with room). Only when the new feedbacks and the sample all round to
// the same floats either way is that result kept; otherwise the caller runs the library's path.
struct private_near_run {
  fm_synth_osc* ops;
  int32_t count;
  float increment, phase;
  double beta, s;
};

struct private_near_operator {
  double out, out_error;  // the operator's share of the sample
  double y, y_error;      // its averaged output, whose float is the next feedback
};

// Operator k of a run: centred by d (sawtooth), or a quarter cycle ahead per odd k and subtracted (square).
inline private_near_operator private_near_share(const private_near_run& r, int32_t k, double d, double quarter) {
  double feedback = double(r.ops[k].feedback);
  double arg = std::numbers::pi * (2.0 * double(r.phase) + r.beta * feedback + quarter * (k & 1));
  double y = (near_sin(arg) + feedback) * 0.5;
  double y_error = NEAR_TRIG_ERROR + 0x1p-51 * (1.0 + std::fabs(feedback));
  double h = high_pass_1(y, feedback);
  double h_error = 3.0 * y_error + 0x1p-50 * (std::fabs(y) + std::fabs(h));
  if (quarter == 0.0) {
    double centred = h + d;
    double centred_error = 1.25 * h_error + 0x1p-51 * std::fabs(centred);
    double out = centred * r.s;
    return {out, 1.25 * std::fabs(r.s) * centred_error + 0x1p-51 * std::fabs(out), y, y_error};
  }
  double out = (1 - 2 * (k & 1)) * (h * r.s);
  return {out, 1.25 * std::fabs(r.s) * h_error + 0x1p-51 * std::fabs(out), y, y_error};
}

// The sample as the library's path would give it, and the operators advanced the same way; false, with
// nothing changed, when a rounding is too close to call.
bool private_near_sample(const private_near_run& r, double d, double quarter, float* sample) {
  double y[SLOT_OPERATORS];
  double acc = 0.0, acc_error = 0.0;
  for (int32_t k = 0; k < r.count; ++k) {
    private_near_operator o = private_near_share(r, k, d, quarter);
    if (!float_rounding_holds(o.y, o.y_error)) return false;  // not finite, zero or too close
    acc += o.out;
    acc_error = 1.25 * (acc_error + o.out_error) + 0x1p-51 * std::fabs(acc);
    y[k] = o.y;
  }
  if (!float_rounding_holds(acc, acc_error)) return false;
  for (int32_t k = 0; k < r.count; ++k) {
    r.ops[k] = {r.increment, private_unit_remainder(r.phase + r.increment), float(y[k])};
  }
  *sample = float(acc);
  return true;
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
  float near = 0.0f;
  if (private_near_sample({ops, count, increment, phase, beta, s}, d, 0.0, &near)) return near;
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
  float near = 0.0f;
  if (paired == count && private_near_sample({ops, count, increment, phase, beta, s}, 0.0, 0.5, &near)) return near;
  double acc = 0.0;
  for (int32_t k = 0; k < count; ++k) {
    ops[k].increment = increment;
    ops[k].phase = phase;
    if (k < paired) acc += private_square_operator(&ops[k], k & 1, beta, s);
    ops[k].phase = private_unit_remainder(ops[k].phase);
  }
  return float(acc);
}
