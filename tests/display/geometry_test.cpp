// The window's geometry: ratios, fitting, the window for a screen, the game mode string, letterboxing.
#include <gtest/gtest.h>

#include <string>

#include "library/arch/opengl/display-glut.hpp"

namespace {

void expect_ratio(int32_t w, int32_t h, int32_t numerator, int32_t denominator) {
  pixel_ratio r = pixel_ratio_make(w, h);
  EXPECT_EQ(r.numerator, numerator) << w << "x" << h;
  EXPECT_EQ(r.denominator, denominator) << w << "x" << h;
}

std::string game_mode(pixel_size window) {
  char buffer[1024];
  display_game_mode_string(buffer, int32_t(sizeof buffer), window);
  return buffer;
}

}  // namespace

TEST(PixelRatio, CommonScreensReduceToTheirUsualNames) {
  expect_ratio(1280, 720, 16, 9);
  expect_ratio(1440, 900, 16, 10);
  expect_ratio(1024, 768, 4, 3);
  expect_ratio(1920, 1080, 16, 9);
  expect_ratio(2560, 1080, 2560, 1080);  // 21.33:9: no small denominator fits
}

TEST(PixelRatio, RatiosWithoutSmallDenominatorFallBackToTheHeight) {
  expect_ratio(1280, 1024, 1280, 1024);
  expect_ratio(905, 720, 905, 720);
}

TEST(PixelRatio, EmptySizesGiveNoRatio) {
  expect_ratio(0, 720, 0, 0);
  expect_ratio(1280, 0, 0, 0);
  expect_ratio(-5, 3, 0, 0);
}

TEST(ConstraintToRatio, KeepsTheFullWidthOrTheFullHeight) {
  pixel_size wide = constraint_to_ratio({1000, 1000}, {16, 9});
  EXPECT_EQ(wide.width, 1000);
  EXPECT_EQ(wide.height, 562);
  pixel_size tall = constraint_to_ratio({2000, 720}, {16, 9});
  EXPECT_EQ(tall.width, 1280);
  EXPECT_EQ(tall.height, 720);
  pixel_size exact = constraint_to_ratio({1280, 720}, {16, 9});
  EXPECT_EQ(exact.width, 1280);
  EXPECT_EQ(exact.height, 720);
  pixel_size unset = constraint_to_ratio({640, 480}, {0, 0});
  EXPECT_EQ(unset.width, 640);
  EXPECT_EQ(unset.height, 480);
}

TEST(Letterbox, CentresThePictureBetweenBlackBars) {
  pixel_rect square = display_letterbox(1000, 1000, {16, 9});
  EXPECT_EQ(square.x, 0);
  EXPECT_EQ(square.y, 219);
  EXPECT_EQ(square.width, 1000);
  EXPECT_EQ(square.height, 562);
  pixel_rect wide = display_letterbox(1920, 720, {16, 9});
  EXPECT_EQ(wide.x, 320);
  EXPECT_EQ(wide.y, 0);
  EXPECT_EQ(wide.width, 1280);
  EXPECT_EQ(wide.height, 720);
}

TEST(WindowSize, LargeScreenTakesTheFullWindowAndGameMode) {
  pixel_ratio ratio{};
  pixel_size w = display_window_size({1920, 1080}, {0, 0}, &ratio);
  EXPECT_EQ(w.width, 1280);
  EXPECT_EQ(w.height, 720);
  EXPECT_EQ(ratio.numerator, 16);
  EXPECT_EQ(ratio.denominator, 9);
  EXPECT_EQ(game_mode(w), "1280x720:32@00");
}

TEST(WindowSize, ScreenAsWideAsTheWindowShrinksOnceAndKeepsTheRatio) {
  pixel_ratio ratio{};
  pixel_size w = display_window_size({1280, 800}, {0, 0}, &ratio);
  EXPECT_EQ(w.width, 904);
  EXPECT_EQ(w.height, 509);
  EXPECT_EQ(game_mode(w), "904x509:32@00");
}

TEST(WindowSize, ScreensUpTo720RowsAlwaysShrink) {
  pixel_ratio ratio{};
  for (pixel_size screen : {pixel_size{1920, 720}, pixel_size{1280, 720}, pixel_size{1024, 600}}) {
    pixel_size w = display_window_size(screen, {0, 0}, &ratio);
    EXPECT_LT(w.height, screen.height) << screen.width << "x" << screen.height;
    EXPECT_LT(w.width, screen.width) << screen.width << "x" << screen.height;
  }
  pixel_size small = display_window_size({800, 600}, {0, 0}, &ratio);
  EXPECT_EQ(small.height, 359);  // 720 -> 509 -> 359
  EXPECT_EQ(small.width, 359 * 16 / 9);
}

TEST(WindowSize, AspectRatioSetsTheWidthFor720Rows) {
  pixel_ratio ratio{};
  pixel_size w = display_window_size({1920, 1080}, {4, 3}, &ratio);
  EXPECT_EQ(w.width, 960);
  EXPECT_EQ(w.height, 720);
  EXPECT_EQ(ratio.numerator, 4);
  EXPECT_EQ(ratio.denominator, 3);
}

TEST(WindowSize, UnknownScreenKeepsTheFullWindow) {
  pixel_ratio ratio{};
  pixel_size w = display_window_size({0, 0}, {0, 0}, &ratio);
  EXPECT_EQ(w.width, 1280);
  EXPECT_EQ(w.height, 720);
}

TEST(GameModeString, FitsTheBufferItIsGiven) {
  char small[8];
  display_game_mode_string(small, int32_t(sizeof small), {1280, 720});
  EXPECT_STREQ(small, "1280x72");
}
