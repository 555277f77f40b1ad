// Band-limited impulse train (closed-form sum of M harmonics) with its leaky-integrated sawtooth and square.
#pragma once
#include <cmath>
#include <numbers>

#include "pure/math.hpp"
#include "pure/music/near_trig.hpp"

// One-pole integrator with a leak; fc is a normalised frequency (the generators use 0.00001).
struct leaky_lp {
  float c, g, x1, y1;
};
static_assert(sizeof(leaky_lp) == 16);

inline void leaky_lp_make(leaky_lp* lp, float fc) {
  float w = float(std::atan(std::numbers::pi * double(fc)));
  lp->c = (w - 1.0f) / (w + 1.0f);
  lp->g = (1.0f - lp->c) / 2.0f;
}

// A non-finite input would poison the memories for good; the integrator then starts again from rest.
inline float leaky_lp_next(leaky_lp* lp, float x) {
  float y = lp->g * (x + lp->x1) - lp->c * lp->y1;
  if (!std::isfinite(y)) {
    lp->x1 = 0.0f;
    lp->y1 = 0.0f;
    return 0.0f;
  }
  lp->x1 = x;
  lp->y1 = y;
  return y;
}

struct blit {
  float phase;      // cycles
  float a;          // roll-off, 0..1
  float increment;  // normalised frequency the tables were made for
  float period;     // P, samples per cycle
  float harmonics;  // M = floor(P / 2) + 1
  float a_k;        // per-harmonic roll-off
  float a_k_m;      // a_k^M
};
static_assert(sizeof(blit) == 28);

inline void blit_make(blit* b, float a) {
  b->phase = 0.0f;
  b->a = a;
  b->increment = 0.0f;
  b->period = 0.0f;
}

inline void private_blit_recompute(blit* b, float inc) {
  b->increment = inc;
  b->period = 1.0f / inc;
  b->harmonics = std::floor(b->period / 2.0f) + 1.0f;
  b->a_k = float(std::pow(double(b->a), 1.0 / double(b->period / 2.0f)));
  b->a_k_m = float(std::pow(double(b->a_k), double(b->harmonics)));
}

// Phases at or past one cycle are wrapped and force a recompute. The wrap is taken with floor rather
// than by subtracting 1 repeatedly, which never ends for huge or infinite phases.
inline void private_blit_reinit(blit* b, float phase, float inc) {
  if (phase >= 1.0f) {
    b->phase = std::isfinite(phase) ? phase - std::floor(phase) : 0.0f;
    private_blit_recompute(b, inc);
    return;
  }
  b->phase = phase;
  if (b->increment != 0.0f && inc == b->increment) return;
  private_blit_recompute(b, inc);
}

// The train's numerator from cos(M x) and cos(M x - x). (M - 1) x is taken in double: in single
// precision its rounding lands on every impulse and the integrator keeps it, which drifts a low
// sawtooth off its waveform by more than 1e-3.
inline double private_blit_numerator(const blit* b, double cos_mx, double cos_mx_x, float cos_x) {
  double ak = b->a_k, akm = b->a_k_m;
  return 1.0 - akm * cos_mx + ak * (akm * cos_mx_x - double(cos_x));
}

// How far the train's value from near_cos may lie from the one from the library's cosines: their
// difference carried through the numerator, both evaluations' roundings, and the division.
inline double private_blit_near_error(const blit* b, double value, float denominator) {
  double terms = (1.0 + std::fabs(double(b->a_k))) * (1.0 + std::fabs(double(b->a_k_m)));
  return 0x1p-46 * terms / std::fabs(double(denominator)) + 0x1p-50 * std::fabs(value);
}

inline float blit_do(const blit* b, float t) {
  float x = float(2.0 * std::numbers::pi * double(t));
  float mx = b->harmonics * x;
  float cos_x = std::cos(x);
  float denominator = b->period * ((b->a_k - 2.0f * cos_x) * b->a_k + 1.0f);
  // almost_equal(denominator, 0, 1e-6): against 0 no relative test is ever met, so only the absolute one.
  if (std::fabs(denominator) < 1e-6f) return 0.0f;
  double near = private_blit_numerator(b, near_cos(double(mx)), near_cos(double(mx) - double(x)), cos_x) /
                double(denominator);
  if (float_rounding_holds(near, private_blit_near_error(b, near, denominator))) return float(near);
  double exact = private_blit_numerator(b, std::cos(double(mx)), std::cos(double(mx) - double(x)), cos_x);
  return float(exact / double(denominator));
}

inline float blit_bipolar_do(const blit* b, float t) { return blit_do(b, t) - blit_do(b, t + 0.5f); }

// Downward-ramping sawtooth: the leaky integral of the train minus its average (the increment).
inline float blit_sawtooth_at(blit* b, leaky_lp* lp, float phase, float inc) {
  if (inc != b->increment) leaky_lp_make(lp, 0.00001f);
  private_blit_reinit(b, phase, inc);
  float y = leaky_lp_next(lp, blit_do(b, b->phase) - b->increment);
  b->phase = b->phase + b->increment;
  return 2.0f * y;
}

inline float blit_square_at(blit* b, leaky_lp* lp, float phase, float inc) {
  private_blit_reinit(b, phase, inc);
  float y = leaky_lp_next(lp, blit_bipolar_do(b, b->phase));
  b->phase = b->phase + b->increment;
  return 2.0f * y;
}
