// Four-float vectors for positions, colours, normals and texture coordinates.
#pragma once

struct vector4 {
  float x, y, z, w;
};
static_assert(sizeof(vector4) == 16);

inline void vector4_from_2d(vector4* v, float x, float y) { *v = {x, y, 0.0f, 0.0f}; }
inline void vector4_null(vector4* v) { *v = {0.0f, 0.0f, 0.0f, 0.0f}; }
