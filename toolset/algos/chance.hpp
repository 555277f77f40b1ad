// Uniform random numbers for the oscillators, drawn from the shared Mersenne Twister.
#pragma once
#include "toolset/algos/mt-prng.hpp"

inline float uniform_rand(mt_prng* g) { return mt_prng_real_0_1_ii(g); }
