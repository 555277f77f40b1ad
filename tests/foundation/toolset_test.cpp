// Typed arrays, the backtracking parser and the Mersenne Twister.
#include <gtest/gtest.h>

#include <cstring>

#include "toolset/algos/mt-prng.hpp"
#include "toolset/algos/parser.hpp"
#include "toolset/array.hpp"

TEST(Array, AllocateZeroesGrowsAndKeepsMemoryWhenEmptied) {
  int_array a{};
  int32_t* fifth = array_allocate(a, 4);
  ASSERT_NE(fifth, nullptr);
  EXPECT_EQ(array_length(a), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(*array_get(a, i), 0);
  EXPECT_EQ(a.raw.capacity, 40);  // twice the bytes needed
  EXPECT_EQ(array_get(a, 5), nullptr);
  array_trunc(a);
  EXPECT_EQ(array_length(a), 0);
  EXPECT_EQ(a.raw.capacity, 40);
  array_truncate(a, 3);  // never lengthens
  EXPECT_EQ(array_length(a), 0);
  array_reset(a);
}

TEST(Array, FailedArraysRefuseEverythingUntilReset) {
  byte_array a{}, b{};
  array_cats(&a.raw, "ab");
  array_fail(b);
  EXPECT_EQ(array_length(b), -1);
  EXPECT_EQ(array_bytes(&b.raw), -1);
  EXPECT_EQ(array_allocate(b, 0), nullptr);
  EXPECT_EQ(array_cat(&a.raw, &b.raw), 0);  // a failed source fails the destination
  EXPECT_EQ(array_length(a), -1);
  array_reset(a);
  EXPECT_EQ(array_length(a), 0);
  EXPECT_EQ(array_allocate(a, -1), nullptr);
  EXPECT_EQ(array_allocate(a, INT32_MAX), nullptr);  // past 2 GiB: the array fails, nothing is written
  array_reset(a);
  array_reset(b);
}

TEST(Array, Concatenation) {
  byte_array a{}, b{};
  array_cats(&a.raw, "kel");
  array_cats0(&b.raw, "varin");
  EXPECT_EQ(array_cat(&a.raw, &b.raw), 1);
  EXPECT_STREQ(array_data(a), "kelvarin");
  EXPECT_EQ(array_cate(&a.raw, &b.raw, 1, 3), 1);
  EXPECT_EQ(array_bytes(&a.raw), 11);
  EXPECT_EQ(array_cate(&a.raw, &b.raw, 2, 99), 0);  // range outside the source
  array_reset(a);
  array_reset(b);
}

TEST(Parser, TransactionsRestoreThePositionOnRollback) {
  const char text[] = "abc";
  parser p;
  parser_make(&p, text, 3);
  unsigned char c;
  parser_begin(&p);
  ASSERT_TRUE(parse_a_char(&p, &c));
  ASSERT_TRUE(parse_a_char(&p, &c));
  parser_rollback(&p);
  EXPECT_EQ(parser_position(&p), 0);
  parser_begin(&p);
  ASSERT_TRUE(parse_a_char(&p, &c));
  parser_commit(&p);
  EXPECT_EQ(parser_position(&p), 1);
  EXPECT_EQ(c, 'a');
  ASSERT_TRUE(parse_a_char(&p, &c));
  ASSERT_TRUE(parse_a_char(&p, &c));
  EXPECT_FALSE(parse_a_char(&p, &c));
}

TEST(Parser, TooDeepNestingFailsInsteadOfOverflowing) {
  parser p;
  parser_make(&p, "x", 1);
  for (int i = 0; i < 100; ++i) parser_begin(&p);
  unsigned char c;
  EXPECT_FALSE(parse_a_char(&p, &c));
}

TEST(MtPrng, StandardSequence) {
  mt_prng g{};
  EXPECT_EQ(mt_prng_uint32(&g), 3499211612u);  // unseeded: seeds itself with 5489
  mt_prng_make(&g, 5489u);
  EXPECT_EQ(mt_prng_uint32(&g), 3499211612u);
  EXPECT_EQ(mt_prng_uint32(&g), 581869302u);
  for (int i = 2; i < 9999; ++i) mt_prng_uint32(&g);
  EXPECT_EQ(mt_prng_uint32(&g), 4123659995u);  // the 10000th output, the reference check value
  mt_prng_make(&g, 1);
  for (int i = 0; i < 100000; ++i) {
    float r = mt_prng_real_0_1_ii(&g);
    ASSERT_GE(r, 0.0f);
    ASSERT_LE(r, 1.0f);
  }
}
