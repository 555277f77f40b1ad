// Geometry entry points: each forwards to the OpenGL geometry buffers.
#include "library/visuals/geometry.hpp"

void geometry_make(geometry* g, display_frame* frame) { opengl_geometry_make(g, frame); }

void geometry_define(geometry* g, uint32_t flags, int32_t index_count, int32_t** indices, int32_t vertex_count,
                     vector4** positions, vector4** colours, vector4** texcoords, vector4** normals) {
  opengl_geometry_define(g, flags, index_count, indices, vertex_count, positions, colours, texcoords, normals);
}

void geometry_commit(geometry* g) { opengl_geometry_commit(g); }
void geometry_commit_with(geometry* g, int32_t index_count, int32_t vertex_count) {
  opengl_geometry_commit_with(g, index_count, vertex_count);
}
void geometry_draw(geometry* g, display_frame* frame) { opengl_geometry_draw(g, frame); }
void geometry_delete(geometry* g) { opengl_geometry_delete(g); }
void geometry_fail(geometry* g) { opengl_geometry_fail(g); }
