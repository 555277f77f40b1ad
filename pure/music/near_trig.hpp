// Sine and cosine in double within a known error, and the check that a float rounding is the exact one's.
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>

// The library's double sine and cosine round to within one unit in the last place of the result, so
// they lie within 2^-52 of the exact value. near_sin and near_cos lie within 2^-51 for |x| <= 2^20
// (Cody-Waite reduction by pi/2 in three parts, Taylor terms through x^17 on [-pi/4, pi/4]) and are
// the library's own functions beyond. A caller that rounds a result to float keeps the library's
// float exactly whenever float_rounding_holds says the rounding cannot be moved by the difference.
constexpr double NEAR_TRIG_ERROR = 0x1p-50;  // between near_* and the library's result, with room

struct private_near_angle {
  double r;           // in [-pi/4, pi/4]
  uint32_t quadrant;  // x = r + quadrant * pi/2 (mod 4)
};

inline private_near_angle private_near_reduce(double x) {
  constexpr double SHIFT = 0x1.8p52;  // adding it rounds to a whole number held in the low bits
  double shifted = x * 0x1.45f306dc9c883p-1 + SHIFT;
  double k = shifted - SHIFT;
  // Each part of pi/2 has at most 33 bits, so k * part is exact for |k| < 2^20.
  double r = ((x - k * 0x1.921fb544p+0) - k * 0x1.0b4611a6p-34) - k * 0x1.3198a2e037073p-69;
  return {r, uint32_t(std::bit_cast<uint64_t>(shifted))};
}

// c[0] + c[1] z + ... + c[7] z^7 in pairs (Estrin's scheme): three short chains instead of one of eight
// steps, so that the dependent latency of a sine is about half.
inline double private_near_poly(double z, const double (&c)[8]) {
  double z2 = z * z;
  double z4 = z2 * z2;
  double low = (c[0] + c[1] * z) + (c[2] + c[3] * z) * z2;
  double high = (c[4] + c[5] * z) + (c[6] + c[7] * z) * z2;
  return low + high * z4;
}

inline double private_near_sin_poly(double r) {
  static constexpr double C[8] = {-0x1.5555555555555p-3, 0x1.1111111111111p-7,  -0x1.a01a01a01a01ap-13,
                                  0x1.71de3a556c734p-19, -0x1.ae64567f544e4p-26, 0x1.6124613a86d09p-33,
                                  -0x1.ae7f3e733b81fp-41, 0x1.952c77030ad4ap-49};
  double z = r * r;
  return r + r * z * private_near_poly(z, C);
}

inline double private_near_cos_poly(double r) {
  static constexpr double C[8] = {-0.5, 0x1.5555555555555p-5, -0x1.6c16c16c16c17p-10, 0x1.a01a01a01a01ap-16,
                                  -0x1.27e4fb7789f5cp-22, 0x1.1eed8eff8d898p-29, -0x1.93974a8c07c9dp-37,
                                  0x1.ae7f3e733b81fp-45};
  double z = r * r;
  return 1.0 + z * private_near_poly(z, C);
}

// sin(r + quadrant * pi/2).
inline double private_near_sin_at(double r, uint32_t quadrant) {
  double y = (quadrant & 1u) ? private_near_cos_poly(r) : private_near_sin_poly(r);
  return (quadrant & 2u) ? -y : y;
}

inline double near_sin(double x) {
  if (!(std::fabs(x) <= 0x1p20)) return std::sin(x);  // NaN too
  private_near_angle a = private_near_reduce(x);
  return private_near_sin_at(a.r, a.quadrant);
}

inline double near_cos(double x) {
  if (!(std::fabs(x) <= 0x1p20)) return std::cos(x);
  private_near_angle a = private_near_reduce(x);
  return private_near_sin_at(a.r, a.quadrant + 1u);
}

// True when every double within `error` of `value` rounds to the same normal float f as `value`: the
// interval lies strictly inside the half spacings to f's neighbours (the one below a power of two is
// half the one above, and is taken on both sides). False for NaN, infinities, zero and subnormals.
inline bool float_rounding_holds(double value, double error) {
  float f = float(value);
  uint32_t bits = std::bit_cast<uint32_t>(f);
  double half_spacing = double(std::bit_cast<float>(bits & 0x7F800000u)) * 0x1p-24;
  if ((bits & 0x007FFFFFu) == 0) half_spacing *= 0.5;
  return std::fabs(value - double(f)) + error < half_spacing;  // value - f is exact
}

// float(std::sin(x)), bit for bit; the library is called only when the rounding is too close to call.
inline float sin_to_float(double x) {
  double near = near_sin(x);
  return float_rounding_holds(near, NEAR_TRIG_ERROR) ? float(near) : float(std::sin(x));
}
