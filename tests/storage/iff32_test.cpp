// The chunk format: exact bytes written, complete chunks read back, damaged lengths refused cheaply.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "apps/brightloom/iff32.hpp"
#include "tests/storage/scratch_folder.hpp"

namespace {

bytes_t filled(size_t n, unsigned char first) {
  bytes_t b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(first + i);
  return b;
}

long peak_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

TEST(Chunk, WritesTagLengthAndDataWithoutPaddingAndNoEmptyChunk) {
  byte_array out{};
  stream s;
  stream_make_on_array(&s, STREAM_WRITE, &out);
  chunk c;
  chunk_make(&c, chunk_tag("KVSY"));
  EXPECT_EQ(chunk_write(&s, &c), 0);  // an empty chunk is not written
  EXPECT_EQ(c.ok, 0);
  chunk_delete(&c);
  chunk_make(&c, chunk_tag("VFX2"));
  bytes_t data = filled(768, 7);
  array_catb(&chunk_data(&c)->raw, data.data(), 768);
  ASSERT_EQ(chunk_write(&s, &c), 1);
  chunk_delete(&c);
  chunk_make(&c, chunk_tag("odd!"));
  array_catb(&chunk_data(&c)->raw, "abc", 3);
  ASSERT_EQ(chunk_write(&s, &c), 1);
  chunk_delete(&c);
  stream_delete(&s);

  bytes_t got = as_bytes(out);
  ASSERT_EQ(got.size(), 776u + 11u);
  EXPECT_EQ(bytes_t(got.begin(), got.begin() + 8), (bytes_t{0x56, 0x46, 0x58, 0x32, 0x00, 0x03, 0x00, 0x00}));
  EXPECT_EQ(bytes_t(got.begin() + 8, got.begin() + 776), data);
  EXPECT_EQ(tag_at(got, 776), "odd!");
  EXPECT_EQ(word_at(got, 780), 3u);
  EXPECT_EQ(got.back(), 'c');  // the next chunk would start right here: no pad byte
  array_reset(out);
}

// Over an array and over a file: the complete chunks, then a failed read that leaves the stream usable
// and positioned at the truncated chunk's tag.
TEST(Chunk, ReadingUntilZeroGivesExactlyTheCompleteChunks) {
  bytes_t file = chunk_bytes("AAAA", filled(5, 1));
  bytes_t second = chunk_bytes("BBBB", filled(2, 9));
  file.insert(file.end(), second.begin(), second.end());
  file.insert(file.end(), {'C', 'C', 'C', 'C', 9, 0, 0, 0, 1, 2});  // data cut short
  scratch_folder folder;
  write_file(folder.file("t.dat"), file);
  byte_array a = array_of(file);
  for (bool on_file : {false, true}) {
    stream s;
    if (on_file) stream_make_on_file(&s, STREAM_READ, folder.file("t.dat").c_str());
    else stream_make_on_array(&s, STREAM_READ, &a);
    chunk c;
    ASSERT_EQ(chunk_read(&c, &s), 1);
    EXPECT_TRUE(chunk_is(&c, chunk_tag("AAAA")));
    EXPECT_EQ(c.length, 5u);
    EXPECT_EQ(as_bytes(c.data), filled(5, 1));
    chunk_delete(&c);
    ASSERT_EQ(chunk_read(&c, &s), 1);
    EXPECT_EQ(as_bytes(c.data), filled(2, 9));
    chunk_delete(&c);
    EXPECT_EQ(chunk_read(&c, &s), 0);
    EXPECT_EQ(c.ok, 0);
    EXPECT_EQ(stream_hasfailed(&s), 0);
    EXPECT_EQ(stream_getposition(&s), 23);
    char tag[4];
    EXPECT_EQ(stream_blockread(&s, tag, 4), 1);
    EXPECT_EQ(std::string(tag, 4), "CCCC");
    stream_delete(&s);
  }
  array_reset(a);
}

TEST(Chunk, LengthsTheStreamCannotHoldAreRefusedBeforeAllocating) {
  const uint32_t lies[] = {0u, 13u, 0x08000000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  long before = peak_kib();
  for (uint32_t length : lies) {
    bytes_t file = {'L', 'I', 'E', 'S', 0, 0, 0, 0};
    std::memcpy(file.data() + 4, &length, 4);
    file.resize(8 + 12, 0xAB);  // 12 bytes do follow
    byte_array a = array_of(file);
    stream s;
    stream_make_on_array(&s, STREAM_READ, &a);
    chunk c;
    EXPECT_EQ(chunk_read(&c, &s), 0) << length;
    EXPECT_EQ(c.data.raw.data, nullptr);
    EXPECT_EQ(stream_getposition(&s), 0);
    stream_delete(&s);
    array_reset(a);
  }
  // A 128 MiB claim over 12 bytes must not have been honoured even for a moment.
  EXPECT_LT(peak_kib() - before, 32 * 1024);
}

TEST(ListChunk, LengthCountsTheTypeAndEveryMemberHeader) {
  list_chunk l;
  list_chunk_make(&l, chunk_tag("LIST"), chunk_tag("VFX "));
  stream members;
  stream_make_on_array(&members, STREAM_WRITE, list_chunk_data(&l));
  chunk c;
  chunk_make(&c, chunk_tag("VFX "));
  array_catb(&c.data.raw, filled(320, 0).data(), 320);
  ASSERT_EQ(chunk_write(&members, &c), 1);
  chunk_delete(&c);
  chunk_make(&c, chunk_tag("VFX2"));
  array_catb(&c.data.raw, filled(768, 0).data(), 768);
  ASSERT_EQ(chunk_write(&members, &c), 1);
  chunk_delete(&c);
  stream_delete(&members);

  byte_array out{};
  stream s;
  stream_make_on_array(&s, STREAM_WRITE, &out);
  ASSERT_EQ(list_chunk_write(&s, &l), 1);
  stream_delete(&s);
  list_chunk_delete(&l);
  bytes_t got = as_bytes(out);
  ASSERT_EQ(got.size(), 1116u);
  EXPECT_EQ(tag_at(got, 0), "LIST");
  EXPECT_EQ(word_at(got, 4), 1108u);
  EXPECT_EQ(tag_at(got, 8), "VFX ");
  EXPECT_EQ(tag_at(got, 12), "VFX ");
  EXPECT_EQ(tag_at(got, 340), "VFX2");

  stream_make_on_array(&s, STREAM_READ, &out);
  ASSERT_EQ(list_chunk_read(&s, &l), 1);
  EXPECT_EQ(l.ok, 1);
  EXPECT_EQ(l.tag, chunk_tag("LIST"));
  EXPECT_EQ(l.type, chunk_tag("VFX "));
  EXPECT_EQ(array_bytes(&l.data.raw), 1104);
  list_chunk_delete(&l);
  stream_delete(&s);
  array_reset(out);
}

TEST(ListChunk, ChunksShorterThanTheTypeWord) {
  byte_array a = array_of(chunk_bytes("TINY", {1, 2}));
  stream s;
  stream_make_on_array(&s, STREAM_READ, &a);
  list_chunk l;
  EXPECT_EQ(list_chunk_read(&s, &l), 1);  // a chunk was read, but it is no list
  EXPECT_EQ(l.ok, 0);
  EXPECT_EQ(array_bytes(&l.data.raw), 0);
  list_chunk_delete(&l);
  stream_delete(&s);

  stream_make_on_array(&s, STREAM_READ, &a);
  chunk c;
  ASSERT_EQ(chunk_read(&c, &s), 1);
  EXPECT_EQ(list_chunk_from_chunk(&l, &c), 0);
  EXPECT_EQ(l.ok, 0);
  chunk_delete(&c);
  list_chunk_delete(&l);
  stream_delete(&s);
  array_reset(a);

  stream_make_null(&s);
  EXPECT_EQ(list_chunk_read(&s, &l), 0);  // nothing to read at all
  EXPECT_EQ(l.ok, 0);
  list_chunk_delete(&l);
}
