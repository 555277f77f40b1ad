// The visuals' analysis windows fed a block at a time by the audio callback.
#pragma once
#include <cstdint>

#include "apps/kelvarin/visuals_model.hpp"

// Audio thread: the same as vfx_accept_sample for each of `count` samples of one voice in turn. The
// write position is published once per stretch of the window rather than per sample; a reset by the
// display thread meanwhile is kept (the window then starts again from 0 with the next block).
void vfx_accept_block(const float* samples, int32_t count, int32_t voice);
