// Byte streams over arrays and files: positioning, growth, modes and sticky failure.
#include <gtest/gtest.h>

#include "apps/brightloom/stream.hpp"
#include "tests/storage/scratch_folder.hpp"

// A short read leaves the position and the stream usable; a position at or past the size fails the
// stream for good.
TEST(ArrayStream, ReadsAndPositionsWithinTheSizeOnly) {
  byte_array bytes{};
  array_catb(&bytes.raw, "0123456789", 10);
  stream s;
  stream_make_on_array(&s, STREAM_READ, &bytes);
  char buffer[12] = {};
  EXPECT_EQ(stream_blockread(&s, buffer, 11), 0);
  EXPECT_EQ(stream_getposition(&s), 0);
  EXPECT_EQ(stream_hasfailed(&s), 0);
  EXPECT_EQ(stream_blockread(&s, buffer, 3), 1);
  EXPECT_STREQ(buffer, "012");
  EXPECT_EQ(stream_blockread(&s, buffer, 0), 0);
  EXPECT_EQ(stream_blockread(&s, buffer, -1), 0);
  stream_position(&s, 9);
  EXPECT_EQ(stream_hasfailed(&s), 0);
  EXPECT_EQ(stream_getposition(&s), 9);
  EXPECT_EQ(stream_blockread(&s, buffer, 1), 1);
  EXPECT_EQ(buffer[0], '9');
  stream_position(&s, 10);
  EXPECT_EQ(stream_hasfailed(&s), 1);
  stream_position(&s, 0);  // a failed stream stays failed
  EXPECT_EQ(stream_hasfailed(&s), 1);
  EXPECT_EQ(stream_blockread(&s, buffer, 1), 0);
  EXPECT_EQ(stream_getposition(&s), 0);
  EXPECT_EQ(stream_endposition(&s), 0);
  EXPECT_EQ(array_bytes(&bytes.raw), 10);  // the borrowed array is its owner's
  stream_delete(&s);
  stream_make_on_array(&s, STREAM_READ, &bytes);
  stream_position(&s, -1);
  EXPECT_EQ(stream_hasfailed(&s), 1);
  stream_delete(&s);
  array_reset(bytes);
}

TEST(ArrayStream, WritesGrowOverwriteAndNeverShrink) {
  byte_array bytes{};
  stream s;
  stream_make_on_array(&s, STREAM_WRITE, &bytes);
  EXPECT_EQ(stream_blockwrite(&s, "", 0), 0);
  EXPECT_EQ(stream_blockwrite(&s, "ABCDEFGH", 8), 1);
  EXPECT_EQ(array_bytes(&bytes.raw), 8);
  EXPECT_EQ(stream_blockwrite(&s, "IJKL", 4), 1);
  EXPECT_EQ(stream_endposition(&s), 12);
  stream_position(&s, 0);
  EXPECT_EQ(stream_blockwrite(&s, "xy", 2), 1);
  EXPECT_EQ(array_bytes(&bytes.raw), 12);
  EXPECT_EQ(std::string(array_data(bytes), 12), "xyCDEFGHIJKL");
  char c;
  EXPECT_EQ(stream_blockread(&s, &c, 1), 0);  // write-only: refused, not failed
  EXPECT_EQ(stream_hasfailed(&s), 0);
  stream_delete(&s);
  array_reset(bytes);
}

TEST(ArrayStream, FailedOrMissingArraysReadNothing) {
  stream s;
  stream_make_on_array(&s, STREAM_READ | STREAM_WRITE, nullptr);
  EXPECT_EQ(stream_hasfailed(&s), 1);
  EXPECT_EQ(s.kind, STREAM_NONE);
  stream_delete(&s);
  byte_array bytes{};
  array_fail(bytes);
  stream_make_on_array(&s, STREAM_READ | STREAM_WRITE, &bytes);
  char c;
  EXPECT_EQ(stream_blockread(&s, &c, 1), 0);
  EXPECT_EQ(stream_blockwrite(&s, "a", 1), 0);
  stream_delete(&s);
  array_reset(bytes);
}

TEST(FileStream, OpenRulesAndInPlaceOverwrite) {
  scratch_folder folder;
  std::string path = folder.file("f.bin");
  stream s;
  stream_make_on_file(&s, STREAM_READ, path.c_str());
  EXPECT_EQ(stream_hasfailed(&s), 1);  // read-only never creates
  stream_delete(&s);
  stream_make_on_file(&s, STREAM_WRITE, path.c_str());
  ASSERT_EQ(stream_hasfailed(&s), 0);
  EXPECT_EQ(stream_blockwrite(&s, "0123456789", 10), 1);
  stream_delete(&s);
  stream_make_on_file(&s, STREAM_READ | STREAM_WRITE, path.c_str());
  EXPECT_EQ(stream_blockwrite(&s, "ab", 2), 1);  // from the start, no truncation
  stream_delete(&s);
  bytes_t got = read_file(path);
  EXPECT_EQ(std::string(got.begin(), got.end()), "ab23456789");

  stream_make_on_file(&s, STREAM_READ, path.c_str());
  EXPECT_EQ(stream_endposition(&s), 10);
  stream_position(&s, 4);
  char buffer[7] = {};
  EXPECT_EQ(stream_blockread(&s, buffer, 6), 1);
  EXPECT_STREQ(buffer, "456789");
  EXPECT_EQ(stream_getposition(&s), 10);
  EXPECT_EQ(stream_blockwrite(&s, "z", 1), 0);  // read-only
  EXPECT_EQ(stream_blockread(&s, buffer, 1), 0);
  EXPECT_EQ(stream_hasfailed(&s), 0);
  stream_position(&s, -5);  // a bad seek fails the stream and closes the file
  EXPECT_EQ(stream_hasfailed(&s), 1);
  EXPECT_EQ(s.file, nullptr);
  stream_delete(&s);

  stream_make_on_file(&s, 0, path.c_str());  // no mode: nothing opens
  EXPECT_EQ(stream_hasfailed(&s), 1);
  stream_delete(&s);
}
