// MT19937 Mersenne Twister: the program's one source of random numbers (noise, shift-register seeds, phases).
#pragma once
#include <cstdint>

struct mt_prng {
  uint32_t state[624];
  int32_t left;         // words left before the state is regenerated
  int32_t initialised;  // 0: the first draw seeds with 5489
  int32_t next;         // read position in state
};

void mt_prng_make(mt_prng* g, uint32_t seed);
uint32_t mt_prng_uint32(mt_prng* g);
// (float(y >> 16) * 65536 + float(y & 0xFFFF)) * 2^-32 in single precision: [0, 1], 1.0 possible.
float mt_prng_real_0_1_ii(mt_prng* g);
