// Geometry entry points for drawing code: thin names over the OpenGL geometry buffers.
#pragma once
#include "library/arch/opengl/geometry.hpp"

void geometry_make(geometry* g, display_frame* frame);
void geometry_define(geometry* g, uint32_t flags, int32_t index_count, int32_t** indices, int32_t vertex_count,
                     vector4** positions, vector4** colours, vector4** texcoords, vector4** normals);
void geometry_commit(geometry* g);
void geometry_commit_with(geometry* g, int32_t index_count, int32_t vertex_count);
void geometry_draw(geometry* g, display_frame* frame);
void geometry_delete(geometry* g);
void geometry_fail(geometry* g);
