// Element identifiers: continued fractions, their matrices and concatenation, and ids made in containers.
#include <gtest/gtest.h>

#include <vector>

#include "library/arch/opengl/ui-glut.hpp"
#include "pure/hid.hpp"
#include "pure/visuals/fonts.hpp"

namespace {
void expect_hid(hid h, int32_t p, int32_t q) {
  EXPECT_EQ(h.num, p);
  EXPECT_EQ(h.den, q);
}
}  // namespace

TEST(Hid, MakeFromOrdinals) {
  expect_hid(hid_make1(0), 2, 1);
  expect_hid(hid_make1(3), 5, 1);
  expect_hid(hid_make1(-3), 0, 0);
  expect_hid(hid_make(nullptr, 0), 1, 0);
  int32_t path[] = {0, 1};
  expect_hid(hid_make(path, 2), 7, 3);
  int32_t later_rejected[] = {0, -2};  // a later term of 0 is refused even though the first may be 0
  expect_hid(hid_make(later_rejected, 2), 0, 0);
  int32_t terms[] = {5};
  expect_hid(hid_from_continuous_fractions(terms, 1), 5, 1);
  int32_t terms2[] = {2, 3};
  expect_hid(hid_from_continuous_fractions(terms2, 2), 7, 3);
  expect_hid(hid_private_make(3, 4), 0, 0);
  expect_hid(hid_private_make(-1, -2), 0, 0);
}

TEST(Hid, MobiusGivesThePreviousConvergent) {
  auto mobius = [](hid h) {
    hid_mobius m = hid_to_mobius(h);
    return std::vector<int32_t>{m.p, m.p1, m.q, m.q1};
  };
  EXPECT_EQ(mobius({7, 3}), (std::vector<int32_t>{7, 2, 3, 1}));
  EXPECT_EQ(mobius({9, 0}), (std::vector<int32_t>{9, 0, 0, 1}));
  for (int32_t k = 0; k < 50; ++k) EXPECT_EQ(mobius(hid_make1(k)), (std::vector<int32_t>{k + 2, 1, 1, 0})) << k;
}

TEST(Hid, ConcatJoinsPaths) {
  expect_hid(hid_concat({5, 2}, {2, 1}), 12, 5);
  expect_hid(hid_concat({5, 2}, NULL_HID), 0, 0);
  expect_hid(hid_concat(NULL_HID, {2, 1}), 0, 0);
  // Any split of a path concatenates back to the identifier of the whole path.
  int32_t path[] = {0, 3, 1, 4, 2};
  hid whole = hid_make(path, 5);
  for (int32_t cut = 1; cut < 5; ++cut) {
    hid joined = hid_concat(hid_make(path, cut), hid_make(path + cut, 5 - cut));
    EXPECT_TRUE(hid_equals(joined, whole)) << cut;
  }
}

TEST(Hid, OverflowGivesNullInsteadOfWrapping) {
  int32_t deep[40];
  for (int32_t& o : deep) o = 1000;
  expect_hid(hid_make(deep, 40), 0, 0);
  hid h = hid_make1(0);
  for (int i = 0; i < 40; ++i) h = hid_concat(h, hid_make1(1000));
  expect_hid(h, 0, 0);
}

TEST(Fonts, HeightsAtSeventyTwoDpiAndArmsLength) {
  int32_t expected[] = {5, 8, 13, 21, 35};
  for (int32_t level = -2; level <= 2; ++level)
    EXPECT_EQ(font_height_for_dpi_and_distance(level, 72.0f, 650.0f), expected[level + 2]);
  EXPECT_EQ(font_height_for_dpi_and_distance(0, 144.0f, 650.0f), 26);
  EXPECT_EQ(font_height_for_dpi_and_distance(0, 0.0f, 650.0f), 0);  // no density: no height, no crash
}

TEST(UiIds, SuccessiveIdsInTheRootRepeatEveryPass) {
  ui u;
  ui_make(&u);
  for (int pass = 0; pass < 2; ++pass) {
    ui_define(&u, nullptr);
    expect_hid(ui_id(&u), 5, 2);
    expect_hid(ui_id(&u), 7, 3);
    expect_hid(ui_id(&u), 9, 4);
    ui_commit(&u);
  }
  ui_define(&u, nullptr);
  expect_hid(ui_make_id(&u, {12, 5}), 0, 0);  // never began a container
  expect_hid(ui_id(&u), 5, 2);                // and the root's counter was left alone
  ui_commit(&u);
  ui_destroy(&u);
  EXPECT_EQ(u.p, nullptr);
}

TEST(UiIds, ContainersNumberTheirOwnChildren) {
  ui u;
  ui_make(&u);
  ui_define(&u, nullptr);
  hid box = ui_id(&u);  // (5, 2)
  ui_layout_begin(&u, box, nullptr, nullptr);
  expect_hid(ui_id(&u), 12, 5);
  ui_layout_end(&u);
  expect_hid(ui_id(&u), 7, 3);
  ui_layout_begin(&u, box, nullptr, nullptr);  // beginning again restarts the child counter
  expect_hid(ui_id(&u), 12, 5);
  ui_layout_end(&u);
  ui_commit(&u);
  EXPECT_FALSE(ui_unbalanced_p(&u));
  ui_destroy(&u);
}
