// Texture sizes: power-of-two storage, the uv rectangle of the content and the target chosen by the extent.
#include <gtest/gtest.h>

#include "library/arch/opengl/texture.hpp"

TEST(TextureLayout, ContentSitsInTheCornerOfItsStorage) {
  texture_layout l;
  const int32_t extent[2] = {640, 480};
  ASSERT_TRUE(texture_layout_of(&l, 2, extent));
  EXPECT_EQ(l.dimensions, 2);
  EXPECT_EQ(l.padded_extent[0], 1024);
  EXPECT_EQ(l.padded_extent[1], 512);
  EXPECT_FLOAT_EQ(l.uv[0], 0.0f);
  EXPECT_FLOAT_EQ(l.uv[1], 0.625f);
  EXPECT_FLOAT_EQ(l.uv[2], 0.0f);
  EXPECT_FLOAT_EQ(l.uv[3], 0.9375f);
  EXPECT_EQ(l.extent[2], 1);
}

TEST(TextureLayout, TargetFollowsTheGivenExtent) {
  texture_layout l;
  const int32_t flat[2] = {64, 0};
  ASSERT_TRUE(texture_layout_of(&l, 2, flat));
  EXPECT_EQ(l.dimensions, 1);
  EXPECT_EQ(l.extent[1], 1);  // clamped after the target was chosen
  const int32_t volume[3] = {4, 4, 3};
  ASSERT_TRUE(texture_layout_of(&l, 3, volume));
  EXPECT_EQ(l.dimensions, 3);
  EXPECT_EQ(l.padded_extent[2], 4);
  const int32_t no_height_but_depth[3] = {8, 0, 2};
  ASSERT_TRUE(texture_layout_of(&l, 3, no_height_but_depth));
  EXPECT_EQ(l.dimensions, 3);
  const int32_t empty[2] = {0, 0};
  ASSERT_TRUE(texture_layout_of(&l, 2, empty));
  EXPECT_EQ(l.padded_extent[0], 2);
  EXPECT_EQ(l.extent[0], 1);
  EXPECT_FLOAT_EQ(l.uv[1], 0.5f);
  const int32_t negative[2] = {-5, 3};
  ASSERT_TRUE(texture_layout_of(&l, 2, negative));
  EXPECT_EQ(l.padded_extent[0], 2);
  EXPECT_FALSE(texture_layout_of(&l, 0, volume));
  EXPECT_FALSE(texture_layout_of(&l, 4, volume));
}
