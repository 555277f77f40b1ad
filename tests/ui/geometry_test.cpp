// Geometry bookkeeping over real display frames and hooks: regions, redefinition, failures, packing, statistics.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "library/arch/opengl/frame.hpp"
#include "library/config.hpp"
#include "library/visuals/geometry.hpp"

namespace {

// A device's two frames sharing one hook list, as the display layer makes them.
struct frames_fixture {
  frame_stats stats{};
  frame_hooks_array hooks{};
  display_frame frame{};
  frames_fixture() { frame_make(&frame, nullptr, 0.0, &stats, &hooks); }
  ~frames_fixture() { frame_hooks_delete_all(&hooks); }
  void define(double ms) {
    frame.time = ms;
    display_frame_define(&frame, nullptr);
  }
  void commit() { display_frame_commit(&frame); }
};

// Makes g in the frame and defines n coloured vertices with as many indices, numbered from 0.
void quads(geometry* g, display_frame* frame, int32_t n, int32_t** idx, vector4** pos, vector4** col) {
  geometry_make(g, frame);
  geometry_define(g, GEOMETRY_QUADS, n, idx, n, pos, col, nullptr, nullptr);
  for (int32_t i = 0; *idx && i < n; ++i) (*idx)[i] = i;
}

// Four coloured quads: the shape whose per-frame size the statistics line is checked against.
void draw_quads(display_frame* frame, int32_t count) {
  for (int32_t q = 0; q < count; ++q) {
    geometry g;
    int32_t* indices;
    vector4 *positions, *colours;
    quads(&g, frame, 4, &indices, &positions, &colours);
    ASSERT_TRUE(g.alive);
    vector4_array_add_box(positions, float(q), 0.0f, 1.0f, 1.0f);
    for (int32_t i = 0; i < 4; ++i) colours[i] = {1.0f, 0.5f, 0.25f, 1.0f};
    geometry_commit(&g);
    geometry_draw(&g, frame);
    EXPECT_TRUE(g.alive);
    geometry_delete(&g);
  }
}

}  // namespace

TEST(Geometry, QuadsOfOneFrameTakeConsecutiveRegions) {
  frames_fixture f;
  f.define(0.0);
  geometry a, b;
  int32_t *ia, *ib;
  vector4 *pa, *pb, *ca, *cb;
  quads(&a, &f.frame, 4, &ia, &pa, &ca);
  geometry_commit(&a);
  quads(&b, &f.frame, 4, &ib, &pb, &cb);  // both count their vertices from 0
  geometry_commit(&b);
  EXPECT_EQ(a.data, b.data);  // the frame's buffers
  EXPECT_EQ(b.first_index, a.first_index + 4);
  EXPECT_EQ(b.first_position, a.first_position + 4);
  EXPECT_EQ(b.first_float, a.first_float + 4 * 12);
  EXPECT_EQ(array_length(a.data->floats), 2 * 4 * 12);
  f.commit();
  // The next frame empties the arrays but keeps them: the same regions come back.
  f.define(16.0);
  geometry c;
  int32_t* ic;
  vector4 *pc, *cc;
  quads(&c, &f.frame, 4, &ic, &pc, &cc);
  EXPECT_EQ(c.first_index, 0);
  EXPECT_EQ(pc, pa);
  f.commit();
}

TEST(Geometry, RedefiningWithTheSameCountsHandsOutTheSamePointers) {
  frames_fixture f;
  f.define(0.0);
  geometry g;
  int32_t *i1, *i2;
  vector4 *p1, *p2, *c1, *c2;
  geometry_make(&g, &f.frame);
  geometry_define(&g, GEOMETRY_QUADS, 8, &i1, 8, &p1, &c1, nullptr, nullptr);
  geometry_define(&g, GEOMETRY_QUADS, 8, &i2, 8, &p2, &c2, nullptr, nullptr);
  EXPECT_EQ(i1, i2);
  EXPECT_EQ(p1, p2);
  EXPECT_EQ(c1, c2);
  geometry_define(&g, GEOMETRY_QUADS, 4, &i2, 4, &p2, &c2, nullptr, nullptr);  // other counts: new region
  EXPECT_EQ(g.first_position, 8);
  f.commit();
}

TEST(Geometry, FailuresLeaveTheFrameAlone) {
  frames_fixture f;
  f.define(0.0);
  geometry big, empty, wild, good;
  int32_t* idx;
  vector4 *pos, *col;
  quads(&big, &f.frame, 4, &idx, &pos, &col);
  geometry_commit_with(&big, 8, 4);  // more than defined
  EXPECT_FALSE(big.alive);
  geometry_draw(&big, &f.frame);
  EXPECT_FALSE(big.alive);

  geometry_make(&empty, &f.frame);
  geometry_define(&empty, GEOMETRY_QUADS, 0, &idx, 4, &pos, &col, nullptr, nullptr);
  EXPECT_FALSE(empty.alive);
  EXPECT_EQ(idx, nullptr);
  EXPECT_EQ(pos, nullptr);
  EXPECT_NE(col, nullptr);  // the colour region is still handed out

  // An index past the vertices would make OpenGL read outside the batch.
  quads(&wild, &f.frame, 4, &idx, &pos, &col);
  idx[3] = 4;
  geometry_commit(&wild);
  EXPECT_FALSE(wild.alive);

  quads(&good, &f.frame, 4, &idx, &pos, &col);
  for (int32_t i = 0; i < 4; ++i) idx[i] = 3 - i;
  geometry_commit_with(&good, 4, 4);
  geometry_draw(&good, &f.frame);
  EXPECT_TRUE(good.alive);

  // Drawing packed data after its frame started again is refused, not read from emptied arrays.
  f.commit();
  f.define(16.0);
  geometry_draw(&good, &f.frame);
  EXPECT_FALSE(good.alive);
  f.commit();

  // Without an open frame there is nowhere to put data.
  geometry late;
  quads(&late, &f.frame, 4, &idx, &pos, &col);
  EXPECT_FALSE(late.alive);
  EXPECT_EQ(pos, nullptr);
}

TEST(Geometry, InterleavingPacksEightOrTwelveFloats) {
  frames_fixture f;
  f.define(0.0);
  geometry plain, coloured;
  int32_t* idx;
  vector4 *pos, *col, *tex, *nor;
  geometry_make(&plain, &f.frame);
  geometry_define(&plain, GEOMETRY_TRIANGLES, 3, &idx, 3, &pos, nullptr, &tex, &nor);
  EXPECT_TRUE(plain.flags & GEOMETRY_NO_COLOURS);
  EXPECT_TRUE(plain.flags & GEOMETRY_PER_FRAME);
  for (int32_t i = 0; i < 3; ++i) {
    idx[i] = i;
    pos[i] = {10.0f + i, 20.0f + i, 30.0f + i, 99.0f};
    tex[i] = {0.5f, 0.25f, 99.0f, 99.0f};
    nor[i] = {0.0f, 0.0f, 1.0f, 99.0f};
  }
  geometry_commit(&plain);
  const float* p = array_data(plain.data->floats) + plain.first_float;
  const float expect_plain[8] = {0.5f, 0.25f, 0.0f, 0.0f, 1.0f, 11.0f, 21.0f, 31.0f};
  for (int32_t k = 0; k < 8; ++k) EXPECT_EQ(p[8 + k], expect_plain[k]) << k;

  quads(&coloured, &f.frame, 4, &idx, &pos, &col);
  for (int32_t i = 0; i < 4; ++i) pos[i] = {1.0f, 2.0f, 3.0f, 4.0f}, col[i] = {0.1f, 0.2f, 0.3f, 0.4f};
  geometry_commit(&coloured);
  EXPECT_EQ(coloured.first_float, 3 * 8);
  EXPECT_EQ(array_length(coloured.data->floats), 3 * 8 + 4 * 12);
  const float* c = array_data(coloured.data->floats) + coloured.first_float;
  const float expect_coloured[12] = {0, 0, 0.1f, 0.2f, 0.3f, 0.4f, 0, 0, 0, 1.0f, 2.0f, 3.0f};
  for (int32_t k = 0; k < 12; ++k) EXPECT_EQ(c[12 + k], expect_coloured[k]) << k;
  f.commit();
}

TEST(Geometry, ResidentGeometriesOwnTheirData) {
  frames_fixture f;
  f.define(0.0);
  geometry source, copy, resident;
  int32_t* idx;
  vector4 *pos, *col;
  quads(&source, &f.frame, 4, &idx, &pos, &col);
  for (int32_t i = 0; i < 4; ++i) pos[i] = {float(i), 0, 0, 0}, col[i] = {1, 1, 1, 1};
  geometry_commit(&source);
  opengl_geometry_resident_copy(&copy, &source);
  f.commit();
  ASSERT_TRUE(copy.alive);
  EXPECT_FALSE(copy.per_frame);
  EXPECT_FALSE(copy.flags & GEOMETRY_PER_FRAME);
  EXPECT_EQ(array_length(copy.data->floats), 4 * 12);
  EXPECT_EQ(array_data(copy.data->floats)[12 + 9], 1.0f);  // the second vertex's x survives the frame
  geometry_draw(&copy, &f.frame);
  EXPECT_TRUE(copy.alive);
  opengl_geometry_delete(&copy);

  opengl_geometry_make_resident(&resident);
  opengl_geometry_define(&resident, GEOMETRY_QUADS, 4, &idx, 4, &pos, nullptr, nullptr, nullptr);
  ASSERT_TRUE(resident.alive);
  opengl_geometry_define(&resident, GEOMETRY_QUADS, 0, &idx, 4, &pos, nullptr, nullptr, nullptr);
  EXPECT_FALSE(resident.alive);
  opengl_geometry_delete(&resident);  // still releases its arrays (the leak checker watches)
  EXPECT_EQ(resident.data, nullptr);
}

TEST(Geometry, LogsTheAverageBytesPerFrameOnceASecond) {
  std::string log = ::testing::TempDir() + "geometry-perf.log";
  perf_logfile(log.c_str());
  frames_fixture f;
  for (int32_t n = 0; n < 200; ++n) {
    f.define(1.0e6 + 16.0 * n);
    draw_quads(&f.frame, 4);
    f.commit();
  }
  std::ifstream lines(log);
  std::string line;
  int32_t steady = 0;
  for (int32_t k = 0; std::getline(lines, line); ++k) {
    if (k == 0) continue;  // the first line may still average frames of earlier tests
    EXPECT_EQ(line, "geometry-per-f: 768 b (0.75 kiB / 0.00 MiB)");
    steady += 1;
  }
  EXPECT_GE(steady, 1);  // 3.2 s of frames: at least two lines
}
