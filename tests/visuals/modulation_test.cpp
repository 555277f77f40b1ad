// A layer's transform from the voices' entries: the scale law, the routing by type, triggers, wild entries.
#include <gtest/gtest.h>

#include <cmath>

#include "apps/kelvarin/visuals.hpp"

namespace {

class LayerTransform : public ::testing::Test {
 protected:
  void SetUp() override {
    modmatrix_make();
    for (auto& voice : modmatrix_of)
      for (frame_modulation& e : voice) e.trigger = 0;
  }
  void TearDown() override { SetUp(); }
  static void route(int32_t voice, int32_t layer, int32_t type, float amount, float divisor, float value) {
    modmatrix_of[voice][layer] = {type, 0, amount, divisor, value, 0};
  }
};

}  // namespace

TEST_F(LayerTransform, WithoutModulationItIsTheDiagonalCell) {
  modmatrix[2][2].rotate_z = 0.25f;
  layer_transform t = vfx_layer_transform(2);
  EXPECT_FLOAT_EQ(t.scale, 0.97f);
  EXPECT_FLOAT_EQ(t.rotate_x, 1.0f);
  EXPECT_FLOAT_EQ(t.rotate_z, 0.25f);
  EXPECT_EQ(t.move_h, 0.0f);
  EXPECT_EQ(t.move_v, 0.0f);
  EXPECT_EQ(t.trigger, 0);
}

TEST_F(LayerTransform, NegativeScaleContributionsActAHundredTimesStrongerThanPositiveOnes) {
  route(0, 1, 1, 1.0f, 1.0f, -1.0f);
  EXPECT_NEAR(vfx_layer_transform(1).scale / 0.97f, std::pow(10.0f, -3.0f / 20.0f), 1e-5f);  // about 0.708
  route(0, 1, 1, 1.0f, 1.0f, 1.0f);
  EXPECT_NEAR(vfx_layer_transform(1).scale / 0.97f, std::pow(10.0f, 0.03f / 20.0f), 1e-5f);  // about 1.0035
  // Contributions add up over the voices before the law: two of -0.5 make one of -1.
  route(0, 1, 1, 1.0f, 1.0f, -0.5f);
  route(7, 1, 1, 2.0f, 4.0f, -1.0f);
  EXPECT_NEAR(vfx_layer_transform(1).scale / 0.97f, std::pow(10.0f, -3.0f / 20.0f), 1e-5f);
  EXPECT_FLOAT_EQ(vfx_layer_transform(0).scale, 0.97f);
}

TEST_F(LayerTransform, EachTypeMovesItsOwnParameterByAmountTimesValueOverDivisor) {
  route(0, 3, 2, 3.0f, 2.0f, 0.5f);   // rtX: rotation about z
  route(1, 3, 3, 1.0f, 1.0f, 0.25f);  // rtZ: horizontal move
  route(2, 3, 5, 1.0f, 1.0f, -0.5f);  // mvh: vertical move
  route(3, 3, 6, 1.0f, 4.0f, 1.0f);   // mvv: rotation about x
  route(4, 3, 0, 9.0f, 1.0f, 9.0f);   // zro: nothing
  modmatrix[3][3].rotate_z = 0.1f;
  layer_transform t = vfx_layer_transform(3);
  EXPECT_FLOAT_EQ(t.rotate_z, 0.1f + 0.75f);
  EXPECT_FLOAT_EQ(t.move_h, 0.25f);
  EXPECT_FLOAT_EQ(t.move_v, -0.5f);
  EXPECT_FLOAT_EQ(t.rotate_x, 1.25f);
  EXPECT_FLOAT_EQ(t.scale, 0.97f);
}

TEST_F(LayerTransform, ATriggerIsTakenOnceAndEveryVoiceIsVisited) {
  route(0, 2, 4, 1.0f, 1.0f, 0.0f);
  route(7, 2, 4, 1.0f, 1.0f, 0.0f);
  modmatrix_of[0][2].trigger = 1;
  modmatrix_of[7][2].trigger = 1;
  EXPECT_EQ(vfx_layer_transform(2).trigger, 1);
  EXPECT_EQ(modmatrix_of[0][2].trigger, 0);
  EXPECT_EQ(modmatrix_of[7][2].trigger, 0);
  EXPECT_EQ(vfx_layer_transform(2).trigger, 0);
  // Another layer's trigger is not this one's.
  modmatrix_of[0][1] = {4, 0, 1.0f, 1.0f, 0.0f, 1};
  EXPECT_EQ(vfx_layer_transform(2).trigger, 0);
  EXPECT_EQ(modmatrix_of[0][1].trigger, 1);
}

TEST_F(LayerTransform, WildEntriesAndLayersStayFinite) {
  route(0, 0, 1, 1.0f, 0.0f, -1.0f);                 // divisor 0
  route(1, 0, 2, NAN, 1.0f, 1.0f);                   // NaN amount
  route(2, 0, 3, 1e30f, 1.0f, 1e30f);                // overflows to infinity
  route(3, 0, 1, -1e6f, 1.0f, 1.0f);                 // a scale far below anything visible
  modmatrix[0][0].rotate_x = INFINITY;
  layer_transform t = vfx_layer_transform(0);
  for (float x : {t.scale, t.rotate_x, t.rotate_z, t.move_h, t.move_v}) EXPECT_TRUE(std::isfinite(x));
  EXPECT_GE(t.scale, 0.0f);
  EXPECT_LT(t.scale, 1e-5f);
  EXPECT_EQ(vfx_layer_transform(-1).trigger, 0);
  EXPECT_EQ(vfx_layer_transform(4).scale, 0.0f);
}
