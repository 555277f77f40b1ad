// The window's geometry: ratios, fitting, the window for a screen, the game mode string, letterboxing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "library/arch/opengl/display-glut.hpp"

namespace {
std::string game_mode(pixel_size window) {
  char buffer[1024];
  display_game_mode_string(buffer, int32_t(sizeof buffer), window);
  return buffer;
}

::testing::AssertionResult is_size(pixel_size s, int32_t w, int32_t h) {
  if (s.width == w && s.height == h) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << s.width << "x" << s.height;
}
}  // namespace

TEST(PixelRatio, ReducesToSmallDenominatorsOrFallsBackToTheSize) {
  const int32_t cases[][4] = {
      {1280, 720, 16, 9},      {1440, 900, 16, 10},   {1024, 768, 4, 3},  {1920, 1080, 16, 9},
      {2560, 1080, 2560, 1080},  // 21.33:9: no small denominator fits
      {1280, 1024, 1280, 1024}, {905, 720, 905, 720},
      {0, 720, 0, 0},           {1280, 0, 0, 0},       {-5, 3, 0, 0},  // empty sizes give no ratio
  };
  for (auto& c : cases) {
    pixel_ratio r = pixel_ratio_make(c[0], c[1]);
    EXPECT_EQ(r.numerator, c[2]) << c[0] << "x" << c[1];
    EXPECT_EQ(r.denominator, c[3]) << c[0] << "x" << c[1];
  }
}

TEST(ConstraintToRatio, KeepsTheFullWidthOrTheFullHeight) {
  EXPECT_TRUE(is_size(constraint_to_ratio({1000, 1000}, {16, 9}), 1000, 562));
  EXPECT_TRUE(is_size(constraint_to_ratio({2000, 720}, {16, 9}), 1280, 720));
  EXPECT_TRUE(is_size(constraint_to_ratio({1280, 720}, {16, 9}), 1280, 720));
  EXPECT_TRUE(is_size(constraint_to_ratio({640, 480}, {0, 0}), 640, 480));  // no ratio: unchanged
}

TEST(Letterbox, CentresThePictureBetweenBlackBars) {
  pixel_rect square = display_letterbox(1000, 1000, {16, 9});
  pixel_rect wide = display_letterbox(1920, 720, {16, 9});
  EXPECT_EQ((std::vector<int32_t>{square.x, square.y, square.width, square.height}),
            (std::vector<int32_t>{0, 219, 1000, 562}));
  EXPECT_EQ((std::vector<int32_t>{wide.x, wide.y, wide.width, wide.height}), (std::vector<int32_t>{320, 0, 1280, 720}));
}

TEST(WindowSize, FollowsTheScreenAndTheAspectRatio) {
  pixel_ratio ratio{};
  pixel_size w = display_window_size({1920, 1080}, {0, 0}, &ratio);  // large screen: the full window
  EXPECT_TRUE(is_size(w, 1280, 720));
  EXPECT_EQ(ratio.numerator, 16);
  EXPECT_EQ(ratio.denominator, 9);
  EXPECT_EQ(game_mode(w), "1280x720:32@00");
  w = display_window_size({1280, 800}, {0, 0}, &ratio);  // as wide as the window: shrinks once
  EXPECT_TRUE(is_size(w, 904, 509));
  EXPECT_EQ(game_mode(w), "904x509:32@00");
  for (pixel_size screen : {pixel_size{1920, 720}, pixel_size{1280, 720}, pixel_size{1024, 600}}) {
    w = display_window_size(screen, {0, 0}, &ratio);  // up to 720 rows: always shrinks
    EXPECT_LT(w.height, screen.height) << screen.width << "x" << screen.height;
    EXPECT_LT(w.width, screen.width) << screen.width << "x" << screen.height;
  }
  EXPECT_TRUE(is_size(display_window_size({800, 600}, {0, 0}, &ratio), 359 * 16 / 9, 359));  // 720, 509, 359
  w = display_window_size({1920, 1080}, {4, 3}, &ratio);  // an aspect ratio sets the width for 720 rows
  EXPECT_TRUE(is_size(w, 960, 720));
  EXPECT_EQ(ratio.numerator, 4);
  EXPECT_EQ(ratio.denominator, 3);
  EXPECT_TRUE(is_size(display_window_size({0, 0}, {0, 0}, &ratio), 1280, 720));  // unknown screen
}

TEST(GameModeString, FitsTheBufferItIsGiven) {
  char small[8];
  display_game_mode_string(small, int32_t(sizeof small), {1280, 720});
  EXPECT_STREQ(small, "1280x72");
}
