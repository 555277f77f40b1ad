// Geometry buffers: per-frame arrays hung on frame hooks, resident geometries, interleaving and drawing.
#include "library/arch/opengl/geometry.hpp"

#include <GL/gl.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "library/arch/opengl/debug.hpp"
#include "library/arch/opengl/frame.hpp"
#include "library/config.hpp"

namespace {

constexpr const char* source_name = "library/arch/opengl/geometry";

// One entry per hook list that ever served a geometry: the display frames of a device share one list,
// every offscreen framebuffer has its own.
struct frame_data_entry {
  frame_hooks_array* hooks;
  int32_t index;
};

typed_array<frame_data_entry> frames;
buffersp_array active_frame_data;  // one entry per frame between define and commit
int32_t stats_frames = 0;
int64_t stats_bytes = 0;
double stats_start_ms = -1.0;

// ==== Frame data: buffers made, emptied and counted through the frame's hooks

void* frame_data_allocate() { return std::calloc(1, sizeof(buffers)); }

void private_buffers_release(buffers* b) {
  array_reset(b->floats);
  array_reset(b->indices);
  array_reset(b->positions);
  array_reset(b->colours);
  array_reset(b->normals);
  array_reset(b->texcoords);
  std::free(b);
}

void frame_data_free(void* world) { private_buffers_release(static_cast<buffers*>(world)); }

// Emptying keeps the memory; an array that failed to grow starts over so one bad frame does not stick.
template <class T>
void private_empty(typed_array<T>& a) {
  if (array_length(a) < 0) array_reset(a);
  array_trunc(a);
}

void frame_data_define_frame(void* world, display_frame* frame) {
  buffers* b = static_cast<buffers*>(world);
  private_empty(b->floats);
  private_empty(b->indices);
  private_empty(b->positions);
  private_empty(b->colours);
  private_empty(b->normals);
  private_empty(b->texcoords);
  array_push(active_frame_data, b);
  if (stats_start_ms < 0.0) stats_start_ms = display_frame_in_ms(frame);
}

buffers* private_active_top() {
  buffers** top = array_get(active_frame_data, array_length(active_frame_data) - 1);
  return top ? *top : nullptr;
}

void frame_data_commit_frame(void* world, display_frame* frame) {
  int32_t bytes = array_bytes(&static_cast<buffers*>(world)->floats.raw);
  stats_frames += 1;
  stats_bytes += bytes > 0 ? bytes : 0;
  double now = display_frame_in_ms(frame);
  if (now - stats_start_ms > 1000.0 && stats_frames > 0) {
    double average = double(stats_bytes / stats_frames);
    perf_log("geometry-per-f: %.0f b (%.2f kiB / %.2f MiB)\n", average, average / 1024.0, average / 1048576.0);
    stats_frames = 0;
    stats_bytes = 0;
    stats_start_ms = now;
  }
  int32_t n = array_length(active_frame_data);
  if (n > 0) array_truncate(active_frame_data, n - 1);
}

// A list freed and another made at the same address must get the hook again.
bool private_entry_valid(const frame_data_entry* e) {
  frame_hooks* h = array_get(*e->hooks, e->index);
  return h && h->active && h->define == frame_data_define_frame;
}

// Grows the array by count zeroed elements; returns the index of the first, -1 on failure.
template <class T>
int32_t private_append(typed_array<T>& a, int32_t count) {
  int32_t first = array_length(a);
  if (first < 0) return -1;
  if (count > 0 && !array_allocate(a, first + count - 1)) return -1;
  return first;
}

// Sets the array to exactly count elements (new ones zeroed).
template <class T>
int32_t private_resize(typed_array<T>& a, int32_t count) {
  if (array_length(a) < 0) return -1;
  array_truncate(a, count);
  if (count > 0 && !array_allocate(a, count - 1)) return -1;
  return 0;
}

}  // namespace

void require_frame_data(display_frame* frame) {
  frame_hooks_array* hooks = display_frame_hooks(frame);
  if (!hooks) return;
  int32_t n = array_length(frames);
  frame_data_entry* entry = nullptr;
  for (int32_t i = 0; i < n && !entry; ++i) {
    frame_data_entry* e = array_get(frames, i);
    if (e->hooks == hooks) entry = e;
  }
  if (entry && private_entry_valid(entry)) return;
  int32_t index = display_frame_add_hooks(frame, frame_data_allocate, frame_data_free, frame_data_define_frame,
                                          frame_data_commit_frame);
  if (index < 0) return;
  if (entry)
    entry->index = index;
  else
    array_push(frames, frame_data_entry{hooks, index});
}

// ==== Life cycle

void opengl_geometry_make(geometry* g, display_frame* frame) {
  require_frame_data(frame);
  *g = {};
  g->alive = 1;
  g->per_frame = 1;
  g->first_float = -1;
}

void opengl_geometry_make_resident(geometry* g) {
  *g = {};
  g->alive = 1;
  g->first_float = -1;
}

void opengl_geometry_fail(geometry* g) {
  if (!g->alive) return;
  g->alive = 0;
  if (!g->per_frame && g->data) private_buffers_release(g->data);
  g->data = nullptr;
}

// A resident geometry that stopped being alive by a bad define still owns its buffers: release them too.
void opengl_geometry_delete(geometry* g) {
  if (!g->per_frame && g->data) private_buffers_release(g->data);
  g->data = nullptr;
  g->alive = 0;
}

// ==== Define

namespace {

bool private_reserve_per_frame(geometry* g, int32_t old_indices, int32_t old_vertices) {
  buffers* top = private_active_top();
  if (!top) return false;
  if (top == g->data && old_indices == g->index_count && old_vertices == g->vertex_count) return true;
  g->data = top;
  g->first_index = private_append(top->indices, g->index_count);
  g->first_position = private_append(top->positions, g->vertex_count);
  g->first_colour = private_append(top->colours, g->vertex_count);
  g->first_normal = private_append(top->normals, g->vertex_count);
  g->first_texcoord = private_append(top->texcoords, g->vertex_count);
  return true;
}

bool private_reserve_resident(geometry* g) {
  if (!g->data) g->data = static_cast<buffers*>(std::calloc(1, sizeof(buffers)));
  if (!g->data) return false;
  buffers* b = g->data;
  g->first_index = private_resize(b->indices, g->index_count);
  g->first_position = private_resize(b->positions, g->vertex_count);
  g->first_colour = private_resize(b->colours, g->vertex_count);
  g->first_normal = private_resize(b->normals, g->vertex_count);
  g->first_texcoord = private_resize(b->texcoords, g->vertex_count);
  return true;
}

template <class T>
T* private_region(const typed_array<T>& a, int32_t first, int32_t count) {
  if (first < 0 || count <= 0 || int64_t(first) + count > array_length(a)) return nullptr;
  return array_get(a, first);
}

}  // namespace

void opengl_geometry_define(geometry* g, uint32_t flags, int32_t index_count, int32_t** indices,
                            int32_t vertex_count, vector4** positions, vector4** colours, vector4** texcoords,
                            vector4** normals) {
  int32_t* ip = nullptr;
  vector4 *pp = nullptr, *cp = nullptr, *tp = nullptr, *np = nullptr;
  if (g->alive && index_count >= 0 && vertex_count >= 0) {
    g->flags = flags | (g->per_frame ? GEOMETRY_PER_FRAME : 0u) | (colours ? 0u : GEOMETRY_NO_COLOURS);
    int32_t old_indices = g->index_count, old_vertices = g->vertex_count;
    g->index_count = index_count;
    g->vertex_count = vertex_count;
    g->first_float = -1;
    bool reserved = g->per_frame ? private_reserve_per_frame(g, old_indices, old_vertices) : private_reserve_resident(g);
    buffers* b = reserved ? g->data : nullptr;
    if (b) {
      ip = private_region(b->indices, g->first_index, index_count);
      pp = private_region(b->positions, g->first_position, vertex_count);
      if (!(g->flags & GEOMETRY_NO_COLOURS)) cp = private_region(b->colours, g->first_colour, vertex_count);
      if (texcoords) tp = private_region(b->texcoords, g->first_texcoord, vertex_count);
      if (normals) np = private_region(b->normals, g->first_normal, vertex_count);
    }
    if (!ip || !pp) {
      g->alive = 0;
      ip = nullptr, pp = tp = np = nullptr;
    }
  } else {
    g->alive = 0;
  }
  if (indices) *indices = ip;
  if (positions) *positions = pp;
  if (colours) *colours = cp;
  if (texcoords) *texcoords = tp;
  if (normals) *normals = np;
}

// ==== Commit: interleave

int32_t geometry_floats_per_vertex(uint32_t flags) { return (flags & GEOMETRY_NO_COLOURS) ? 8 : 12; }

vector4* vector4_array_add_box(vector4* v, float x, float y, float w, float h) {
  v[0] = {x, y, 0.0f, 0.0f};
  v[1] = {x + w, y, 0.0f, 0.0f};
  v[2] = {x + w, y + h, 0.0f, 0.0f};
  v[3] = {x, y + h, 0.0f, 0.0f};
  return v + 4;
}

void interleave_arrays(float* out, int32_t vertex_count, const vector4* texcoords, const vector4* colours,
                       const vector4* normals, const vector4* positions) {
  for (int32_t i = 0; i < vertex_count; ++i) {
    *out++ = texcoords ? texcoords[i].x : 0.0f;
    *out++ = texcoords ? texcoords[i].y : 0.0f;
    if (colours) {
      std::memcpy(out, &colours[i], 4 * sizeof(float));
      out += 4;
    }
    static constexpr vector4 no_normal = {0.0f, 0.0f, 0.0f, 0.0f};
    std::memcpy(out, normals ? &normals[i] : &no_normal, 3 * sizeof(float));
    std::memcpy(out + 3, &positions[i], 3 * sizeof(float));
    out += 6;
  }
}

namespace {

// OpenGL would read past the vertex data for an index out of range: such a batch is refused.
bool private_indices_in_range(const int32_t* indices, int32_t count, int32_t vertex_count) {
  for (int32_t i = 0; i < count; ++i)
    if (indices[i] < 0 || indices[i] >= vertex_count) return false;
  return true;
}

}  // namespace

void opengl_geometry_commit_with(geometry* g, int32_t index_count, int32_t vertex_count) {
  if (!g->alive) return;
  if (index_count > g->index_count || vertex_count > g->vertex_count || index_count < 0 || vertex_count < 0)
    return opengl_geometry_fail(g);
  g->index_count = index_count;
  g->vertex_count = vertex_count;
  buffers* b = g->data;
  if (g->per_frame ? (!b || b != private_active_top()) : !b) return opengl_geometry_fail(g);
  if (!g->per_frame) array_trunc(b->floats);
  const int32_t* indices = private_region(b->indices, g->first_index, index_count);
  if (index_count > 0 && (!indices || !private_indices_in_range(indices, index_count, vertex_count)))
    return opengl_geometry_fail(g);
  int64_t floats = int64_t(vertex_count) * geometry_floats_per_vertex(g->flags);
  int32_t first = floats > INT32_MAX / 4 ? -1 : private_append(b->floats, int32_t(floats));
  if (first < 0) return opengl_geometry_fail(g);
  g->first_float = first;
  const vector4* colours = (g->flags & GEOMETRY_NO_COLOURS) ? nullptr : array_get(b->colours, g->first_colour);
  interleave_arrays(array_data(b->floats) + first, vertex_count, array_get(b->texcoords, g->first_texcoord),
                    colours, array_get(b->normals, g->first_normal), array_get(b->positions, g->first_position));
}

void opengl_geometry_commit(geometry* g) { opengl_geometry_commit_with(g, g->index_count, g->vertex_count); }

// ==== Draw

void opengl_geometry_draw(geometry* g, display_frame*) {
  buffers* b = g->data;
  if (!g->alive || !b) return opengl_geometry_fail(g);
  if (!g->per_frame) {
    int32_t bytes = array_bytes(&b->floats.raw);
    stats_bytes += bytes > 0 ? bytes : 0;
  }
  // Packed data that a later frame start emptied, or a define never committed, is not drawn.
  int64_t floats = int64_t(g->vertex_count) * geometry_floats_per_vertex(g->flags);
  const float* packed = floats > INT32_MAX ? nullptr : private_region(b->floats, g->first_float, int32_t(floats));
  const int32_t* indices = private_region(b->indices, g->first_index, g->index_count);
  if (!packed || !indices) return opengl_geometry_fail(g);
  glInterleavedArrays((g->flags & GEOMETRY_NO_COLOURS) ? GL_T2F_N3F_V3F : GL_T2F_C4F_N3F_V3F, 0, packed);
  opengl_trace(source_name, 546);
  if (g->flags & GEOMETRY_TRIANGLES) {
    glDrawElements(GL_TRIANGLES, g->index_count, GL_UNSIGNED_INT, indices);
    opengl_trace(source_name, 550);
  } else if (g->flags & GEOMETRY_QUADS) {
    glDrawElements(GL_QUADS, g->index_count, GL_UNSIGNED_INT, indices);
    opengl_trace(source_name, 553);
  } else {
    opengl_geometry_fail(g);
  }
}

// ==== Resident copy

void opengl_geometry_resident_copy(geometry* destination, const geometry* source) {
  opengl_geometry_make_resident(destination);
  buffers* s = source->data;
  if (!source->alive || !s) return opengl_geometry_fail(destination);
  int32_t *di = nullptr, ic = source->index_count, vc = source->vertex_count;
  vector4 *dp = nullptr, *dc = nullptr, *dt = nullptr, *dn = nullptr;
  bool colours = !(source->flags & GEOMETRY_NO_COLOURS);
  opengl_geometry_define(destination, source->flags & ~uint32_t(GEOMETRY_PER_FRAME), ic, &di, vc, &dp,
                         colours ? &dc : nullptr, &dt, &dn);
  const int32_t* si = private_region(s->indices, source->first_index, ic);
  const vector4* sp = private_region(s->positions, source->first_position, vc);
  if (!destination->alive || !si || !sp) return opengl_geometry_fail(destination);
  std::memcpy(di, si, size_t(ic) * sizeof(int32_t));
  std::memcpy(dp, sp, size_t(vc) * sizeof(vector4));
  const vector4* sc = colours ? private_region(s->colours, source->first_colour, vc) : nullptr;
  const vector4* st = private_region(s->texcoords, source->first_texcoord, vc);
  const vector4* sn = private_region(s->normals, source->first_normal, vc);
  if (dc && sc) std::memcpy(dc, sc, size_t(vc) * sizeof(vector4));
  if (dt && st) std::memcpy(dt, st, size_t(vc) * sizeof(vector4));
  if (dn && sn) std::memcpy(dn, sn, size_t(vc) * sizeof(vector4));
  opengl_geometry_commit(destination);
}
