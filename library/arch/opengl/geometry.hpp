// Indexed vertex batches packed into one interleaved float array; per-frame data lives in the frame's buffers.
#pragma once
#include <cstdint>

#include "pure/vectors.hpp"
#include "toolset/array.hpp"

struct display_frame;

using vector4_array = typed_array<vector4>;

// The arrays behind geometries: per frame, one set per frame-hook list, emptied (not freed) at every
// frame start; a resident geometry owns its own set.
struct buffers {
  float_array floats;  // interleaved vertex data for drawing
  int_array indices;
  vector4_array positions;
  vector4_array colours;
  vector4_array normals;
  vector4_array texcoords;
};

using buffersp_array = typed_array<buffers*>;

enum : uint32_t {
  GEOMETRY_PER_FRAME = 1,  // set by define when made with a frame
  GEOMETRY_TRIANGLES = 2,
  GEOMETRY_QUADS = 4,  // used when GEOMETRY_TRIANGLES is clear
  GEOMETRY_NO_COLOURS = 128,  // set by define when no colour pointer is asked for
};

struct geometry {
  int32_t alive;
  int32_t per_frame;
  uint32_t flags;
  int32_t index_count;
  int32_t vertex_count;
  buffers* data;  // the frame's (not owned) or, resident, its own
  int32_t first_index;
  int32_t first_position;
  int32_t first_colour;
  int32_t first_normal;
  int32_t first_texcoord;
  int32_t first_float;
};

// Ensures the frame's hook list carries the buffers hook; the frame must be open for geometries to get data.
void require_frame_data(display_frame* frame);
void opengl_geometry_make(geometry* g, display_frame* frame);
void opengl_geometry_make_resident(geometry* g);
// Hands out where to write indices (vertex numbers from 0 within this geometry) and vectors. The pointers
// stay valid until the next geometry is defined in the same buffers: fill them first. Null colours asks
// for none; null texcoords or normals leave them zero. A count of 0 or no memory makes it not alive.
void opengl_geometry_define(geometry* g, uint32_t flags, int32_t index_count, int32_t** indices,
                            int32_t vertex_count, vector4** positions, vector4** colours, vector4** texcoords,
                            vector4** normals);
void opengl_geometry_commit(geometry* g);
// May lower the counts to what was filled; a larger count, or an index past the vertices, fails it.
void opengl_geometry_commit_with(geometry* g, int32_t index_count, int32_t vertex_count);
void opengl_geometry_draw(geometry* g, display_frame* frame);
void opengl_geometry_delete(geometry* g);
void opengl_geometry_fail(geometry* g);
void opengl_geometry_resident_copy(geometry* destination, const geometry* source);

// Writes (x, y), (x + w, y), (x + w, y + h), (x, y + h) with z = w = 0; returns the vector after them.
vector4* vector4_array_add_box(vector4* vectors, float x, float y, float w, float h);
// Per vertex: texcoord x y, colour r g b a (unless no colours), normal x y z, position x y z.
void interleave_arrays(float* out, int32_t vertex_count, const vector4* texcoords, const vector4* colours,
                       const vector4* normals, const vector4* positions);
int32_t geometry_floats_per_vertex(uint32_t flags);  // 8 without colours, 12 with
