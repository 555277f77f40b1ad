// 16-bit Fibonacci shift register with taps 16, 14, 13, 11: a maximal-length (65535) pseudo-random bit source.
#pragma once
#include <cstdint>

struct lsfr {
  uint16_t reg;
};

inline void lsfr_make(lsfr* r, uint16_t seed) { r->reg = seed; }
inline void lsfr_next(lsfr* r) {
  unsigned v = r->reg;
  unsigned feedback = (v ^ (v >> 2) ^ (v >> 3) ^ (v >> 5)) & 1u;
  r->reg = uint16_t((v >> 1) | (feedback << 15));
}
inline int lsfr_output_bit(const lsfr* r) { return (r->reg >> 15) & 1; }
inline uint16_t lsfr_reg(const lsfr* r) { return r->reg; }
