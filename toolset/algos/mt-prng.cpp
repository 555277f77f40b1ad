// MT19937 with the standard seeding, twist and tempering, so a seed gives the reference sequence.
#include "toolset/algos/mt-prng.hpp"

namespace {
constexpr int N = 624;
constexpr int M = 397;

// Word i from its own top bit, the next word's low bits and the word `ahead` (i + M, wrapped).
inline uint32_t private_mt_twist(uint32_t word, uint32_t next, uint32_t ahead) {
  uint32_t y = (word & 0x80000000u) | (next & 0x7FFFFFFFu);
  return ahead ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
}

// In place and in order, so the last N - M words read words already regenerated; the wrap of i + M
// and i + 1 is split into ranges instead of taken per word.
void private_mt_regenerate(mt_prng* g) {
  uint32_t* s = g->state;
  for (int i = 0; i < N - M; ++i) s[i] = private_mt_twist(s[i], s[i + 1], s[i + M]);
  for (int i = N - M; i < N - 1; ++i) s[i] = private_mt_twist(s[i], s[i + 1], s[i + M - N]);
  s[N - 1] = private_mt_twist(s[N - 1], s[0], s[M - 1]);
  g->left = N;
  g->next = 0;
}
}  // namespace

void mt_prng_make(mt_prng* g, uint32_t seed) {
  g->state[0] = seed;
  for (uint32_t i = 1; i < N; ++i) {
    uint32_t previous = g->state[i - 1];
    g->state[i] = 1812433253u * (previous ^ (previous >> 30)) + i;
  }
  g->initialised = 1;
  g->left = 1;
  g->next = N;
}

uint32_t mt_prng_uint32(mt_prng* g) {
  if (!g->initialised) mt_prng_make(g, 5489u);
  if (--g->left <= 0) private_mt_regenerate(g);
  uint32_t y = g->state[g->next++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

float mt_prng_real_0_1_ii(mt_prng* g) {
  uint32_t y = mt_prng_uint32(g);
  return (float(y >> 16) * 65536.0f + float(y & 0xFFFFu)) * (1.0f / 4294967296.0f);
}
