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

// The operators of a generator in one piece (they share one pool slot), or none when it has no storage.
fm_synth_osc* private_operators(const fm_synth_osc_array* a, int32_t* count) {
  *count = fm_synth_osc_array_length(a);
  if (*count <= 0 || a->handle == 0 || a->handle > uint32_t(POOL_SLOTS)) {
    *count = 0;
    return nullptr;
  }
  return pool[a->handle - 1];
}

inline void private_fm_prepare(fm_synth_osc* ops, int32_t count, const fm_synth* fs) {
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

inline void private_fm_wrap(fm_synth_osc* ops, int32_t count) {
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

struct private_library_sine {
  double operator()(double x) const { return std::sin(x); }
};
struct private_near_sine {
  double operator()(double x) const { return near_sin(x); }
};

// An operator's averaged output with the sine `Sine` gives; a non-finite one reads as 0, so that a
// non-finite phase does not leave the feedback poisoned.
template <class Sine>
inline double private_operator_y(const fm_synth_osc& op, double beta, double quarter) {
  double arg = std::numbers::pi * (2.0 * double(op.phase) + beta * double(op.feedback) + quarter);
  double y = (Sine{}(arg) + double(op.feedback)) * 0.5;
  return std::isfinite(y) ? y : 0.0;
}

// One sawtooth sample: each operator's output through the high-pass, centred and normalised. The
// outputs go to y; the operators are advanced by the caller.
template <class Sine>
inline double private_saw_sample(const fm_synth_osc* ops, int32_t count, double beta, double d, double s, double* y) {
  double acc = 0.0;
  for (int32_t k = 0; k < count; ++k) {
    y[k] = private_operator_y<Sine>(ops[k], beta, 0.0);
    acc += (high_pass_1(y[k], ops[k].feedback) + d) * s;
  }
  return acc;
}

// Operators work in pairs; the second of a pair runs a quarter cycle ahead and is subtracted.
template <class Sine>
inline double private_square_sample(const fm_synth_osc* ops, int32_t paired, double beta, double s, double* y) {
  double acc = 0.0;
  for (int32_t k = 0; k < paired; ++k) {
    y[k] = private_operator_y<Sine>(ops[k], beta, 0.5 * (k & 1));
    acc += (1 - 2 * (k & 1)) * (high_pass_1(y[k], ops[k].feedback) * s);
  }
  return acc;
}

// The operators that ran keep their outputs as feedback and step on by their increment.
inline void private_fm_advance(fm_synth_osc* ops, int32_t count, const double* y) {
  for (int32_t k = 0; k < count; ++k) {
    ops[k].feedback = float(y[k]);
    ops[k].phase += ops[k].increment;
  }
}

// True when the floats kept from a sample computed with near_sin (the feedbacks and the sample) are the
// ones the library's sine gives. The bounds carry near_sin's difference and every rounding of the two
// evaluations through the average (|y| <= f), the high-pass (|h| <= 4f), the centring and the sum.
inline bool private_near_holds(const fm_synth_osc* ops, int32_t count, const double* y, double acc, double d, double s) {
  double f = 1.0;
  for (int32_t k = 0; k < count; ++k) f += std::fabs(double(ops[k].feedback));
  for (int32_t k = 0; k < count; ++k) {
    if (!float_rounding_holds(y[k], 0x1p-49 * f)) return false;
  }
  return float_rounding_holds(acc, double(count) * 0x1p-44 * (f + std::fabs(d)) * (1.0 + std::fabs(s)));
}

}  // namespace

void fm_synth_saw(fm_synth* fs, float* out, int n) {
  int32_t count = 0;
  fm_synth_osc* ops = private_operators(&fs->operators, &count);
  private_fm_prepare(ops, count, fs);
  float f = fs->increment;
  double d = dc_remove(0.0f, f), s = high_pass_1_normalize(1.0, f), beta = beta_3(f);
  double y[SLOT_OPERATORS];
  for (int i = 0; i < n; ++i) {
    out[i] = float(private_saw_sample<private_library_sine>(ops, count, beta, d, s, y));
    private_fm_advance(ops, count, y);
  }
  private_fm_wrap(ops, count);
}

void fm_synth_square(fm_synth* fs, float* out, int n) {
  int32_t count = 0;
  fm_synth_osc* ops = private_operators(&fs->operators, &count);
  private_fm_prepare(ops, count, fs);
  float f = fs->increment;
  double s = high_pass_1_normalize(1.0, f), beta = beta_3(f);
  int32_t paired = count / 2 * 2;
  double y[SLOT_OPERATORS];
  for (int i = 0; i < n; ++i) {
    out[i] = float(private_square_sample<private_library_sine>(ops, paired, beta, s, y));
    private_fm_advance(ops, paired, y);
  }
  private_fm_wrap(ops, count);
}

// A single sample is the block form with n = 1, its sines taken by near_sin where that keeps every
// float the same.
float fm_synth_saw_next(fm_synth* fs, float increment, float phase) {
  fs->increment = increment;
  fs->phase = phase;
  int32_t count = 0;
  fm_synth_osc* ops = private_operators(&fs->operators, &count);
  private_fm_prepare(ops, count, fs);
  double d = dc_remove(0.0f, increment), s = high_pass_1_normalize(1.0, increment), beta = beta_3(increment);
  double y[SLOT_OPERATORS];
  double acc = private_saw_sample<private_near_sine>(ops, count, beta, d, s, y);
  if (!private_near_holds(ops, count, y, acc, d, s)) {
    acc = private_saw_sample<private_library_sine>(ops, count, beta, d, s, y);
  }
  private_fm_advance(ops, count, y);
  private_fm_wrap(ops, count);
  return float(acc);
}

float fm_synth_square_next(fm_synth* fs, float increment, float phase) {
  fs->increment = increment;
  fs->phase = phase;
  int32_t count = 0;
  fm_synth_osc* ops = private_operators(&fs->operators, &count);
  private_fm_prepare(ops, count, fs);
  double s = high_pass_1_normalize(1.0, increment), beta = beta_3(increment);
  int32_t paired = count / 2 * 2;
  double y[SLOT_OPERATORS];
  double acc = private_square_sample<private_near_sine>(ops, paired, beta, s, y);
  if (!private_near_holds(ops, paired, y, acc, 0.0, s)) {
    acc = private_square_sample<private_library_sine>(ops, paired, beta, s, y);
  }
  private_fm_advance(ops, paired, y);
  private_fm_wrap(ops, count);
  return float(acc);
}
