// A layer's transform from the voices' entries: the scale law and the routing by type. Triggers are played
// from audio by the feedback test.
#include <gtest/gtest.h>

#include <cmath>

#include "apps/kelvarin/visuals.hpp"

namespace {
void route(int32_t voice, int32_t layer, int32_t type, float amount, float divisor, float value) {
  modmatrix_of[voice][layer] = {type, 0, amount, divisor, value, 0};
}
std::vector<float> all(const layer_transform& t) { return {t.scale, t.rotate_x, t.rotate_z, t.move_h, t.move_v}; }
}  // namespace

TEST(LayerTransform, TheDiagonalCellMovedByEveryVoicesEntryOfItsType) {
  modmatrix_make();
  // Scale: contributions add over the voices, then the law; a negative sum acts a hundred times stronger.
  route(0, 1, 1, 1.0f, 1.0f, -0.5f);
  route(7, 1, 1, 2.0f, 4.0f, -1.0f);
  EXPECT_NEAR(vfx_layer_transform(1).scale / 0.97f, std::pow(10.0f, -3.0f / 20.0f), 1e-5f);
  route(0, 1, 1, 1.0f, 1.0f, 1.0f);
  route(7, 1, 1, 0.0f, 1.0f, 0.0f);
  EXPECT_NEAR(vfx_layer_transform(1).scale / 0.97f, std::pow(10.0f, 0.03f / 20.0f), 1e-5f);
  // Each type moves its own parameter by amount times value over divisor.
  const int32_t types[] = {2, 3, 5, 6, 0};  // rtX: rotation about z, rtZ: horizontal, mvh: vertical, mvv: about x
  const float amounts[][3] = {{3, 2, 0.5f}, {1, 1, 0.25f}, {1, 1, -0.5f}, {1, 4, 1}, {9, 1, 9}};
  for (int32_t v = 0; v < 5; ++v) route(v, 3, types[v], amounts[v][0], amounts[v][1], amounts[v][2]);
  modmatrix[3][3].rotate_z = 0.1f;
  EXPECT_EQ(all(vfx_layer_transform(3)), (std::vector<float>{0.97f, 1.25f, 0.1f + 0.75f, 0.25f, -0.5f}));
  // A layer that does not exist has no scale.
  EXPECT_EQ(vfx_layer_transform(4).scale, 0.0f);
  modmatrix_make();
}
