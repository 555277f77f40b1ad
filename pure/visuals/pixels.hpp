// Pixel conversions for raster frames: 0x00RRGGBB words and float red, green, blue triples to 32 and 16 bits.
#pragma once
#include <cstdint>

#include "pure/math.hpp"

// Top 5, 6 and 5 bits of red, green and blue.
inline void rgb_i888_to_i565(uint16_t* out, const uint32_t* in, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    uint32_t p = in[i];
    out[i] = uint16_t(((p & 0xf80000u) >> 8) | ((p & 0xfc00u) >> 5) | ((p & 0xf8u) >> 3));
  }
}

// Each channel clamped to [0, 1] (infinities to their side), scaled by 255 and truncated; top byte 0.
inline void rgb_3f_to_i888(uint32_t* out, const float* in, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const float* p = in + 3 * i;
    uint32_t r = uint32_t(clamp_f(p[0], 0.0f, 1.0f) * 255.0f);
    uint32_t g = uint32_t(clamp_f(p[1], 0.0f, 1.0f) * 255.0f);
    uint32_t b = uint32_t(clamp_f(p[2], 0.0f, 1.0f) * 255.0f);
    out[i] = (r << 16) | (g << 8) | b;
  }
}

// Clamped to [0, 1]; red x 31, green x 63, blue x 31 in double precision, truncated.
inline void rgb_3f_to_i565(uint16_t* out, const float* in, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const float* p = in + 3 * i;
    uint32_t r = uint32_t(double(clamp_f(p[0], 0.0f, 1.0f)) * 31.0);
    uint32_t g = uint32_t(double(clamp_f(p[1], 0.0f, 1.0f)) * 63.0);
    uint32_t b = uint32_t(double(clamp_f(p[2], 0.0f, 1.0f)) * 31.0);
    out[i] = uint16_t((r << 11) | (g << 5) | b);
  }
}
