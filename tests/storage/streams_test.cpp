// Virtual paths, byte streams over arrays and files, and the chunk format's exact bytes and refusals.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>

#include "apps/brightloom/env-all.hpp"
#include "apps/brightloom/iff32.hpp"
#include "tests/storage/scratch_folder.hpp"

TEST(Vpath, KnownPrefixesAreReplacedAndEverythingElsePassesThrough) {
  setenv("KELVARIN_RESOURCES", "/opt/kv/res", 1);
  const std::pair<const char*, const char*> table[] = {
      {"virtual://root/title.jpg", "/opt/kv/res/title.jpg"}, {"virtual://data/", "/opt/kv/res/data/"},
      {"virtual://shaders/blur.fs", "/opt/kv/res/shaders/blur.fs"}, {"virtual://material/x.png", "/mnt/storage/private-media/material/x.png"},
      {"virtual://root", "virtual://root"}, {"VIRTUAL://ROOT/a", "VIRTUAL://ROOT/a"}, {"virtual://roots/a", "virtual://roots/a"},
      {"x/virtual://root/a", "x/virtual://root/a"}, {"", ""}};
  for (auto [path, resolved] : table) {
    byte_array out = vpath(path);
    EXPECT_EQ(std::string(array_data(out), size_t(array_bytes(&out.raw))), std::string(resolved) + '\0') << path;
    array_reset(out);
  }
  unsetenv("KELVARIN_RESOURCES");
  char exe[PATH_MAX + 1] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, PATH_MAX), 0);
  std::string folder(exe);
  EXPECT_EQ(std::string(get_resource_path()), folder.substr(0, folder.rfind('/')) + "/resources");  // beside the executable
  parser p;
  parser_make(&p, "save-3.dat", 10);
  char buffer[8];
  EXPECT_EQ(parse_a_string(&p, buffer, 11), 0);
  EXPECT_EQ(parse_a_string(&p, buffer, 6), 1);
  EXPECT_STREQ(buffer, "save-3");
}

// A short read leaves the stream usable; a position at or past the size fails it for good; writes grow,
// overwrite in place and never shrink; a read-only file is never created.
TEST(Streams, PositionsReadsWritesAndStickyFailure) {
  scratch_folder folder;
  write_file(folder.file("f.bin"), {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
  byte_array bytes{};
  array_catb(&bytes.raw, "0123456789", 10);
  for (bool on_file : {false, true}) {
    stream s;
    on_file ? stream_make_on_file(&s, STREAM_READ | STREAM_WRITE, folder.file("f.bin").c_str()) : stream_make_on_array(&s, STREAM_READ | STREAM_WRITE, &bytes);
    EXPECT_EQ(stream_blockwrite(&s, "ab", 2), 1);
    stream_position(&s, 9);
    EXPECT_EQ(stream_blockwrite(&s, "XYZ", 3), 1);
    EXPECT_EQ(stream_endposition(&s), 12);
    stream_position(&s, 1);
    char buffer[12] = {};
    EXPECT_EQ(stream_blockread(&s, buffer, 11), 1);
    EXPECT_STREQ(buffer, "b2345678XYZ") << on_file;
    if (!on_file) {
      stream_position(&s, 10);
      EXPECT_EQ(stream_blockread(&s, buffer, 3), 0);  // short: refused, the stream stays usable
      EXPECT_EQ(stream_hasfailed(&s), 0);
      stream_position(&s, 12);  // at the size: failed for good
      stream_position(&s, 0);
      EXPECT_EQ(stream_hasfailed(&s), 1);
      EXPECT_EQ(stream_blockread(&s, buffer, 1), 0);
    }
    stream_delete(&s);
  }
  stream s;
  stream_make_on_file(&s, STREAM_READ, folder.file("new.bin").c_str());
  EXPECT_EQ(stream_hasfailed(&s), 1);
  EXPECT_FALSE(std::filesystem::exists(folder.file("new.bin")));
  stream_delete(&s);
  stream_make_on_array(&s, STREAM_READ, nullptr);
  EXPECT_EQ(stream_hasfailed(&s), 1);
  stream_delete(&s);
  array_reset(bytes);
}

TEST(Chunks, ExactBytesOutCompleteChunksInAndLyingLengthsRefusedBeforeAllocating) {
  byte_array out{};
  stream s;
  stream_make_on_array(&s, STREAM_WRITE, &out);
  list_chunk l;
  list_chunk_make(&l, chunk_tag("LIST"), chunk_tag("VFX "));
  array_catb(&list_chunk_data(&l)->raw, "abc", 3);
  chunk c;
  chunk_make(&c, chunk_tag("KVSY"));
  EXPECT_EQ(chunk_write(&s, &c), 0);  // an empty chunk is not written
  chunk_delete(&c);
  chunk_make(&c, chunk_tag("odd!"));
  array_catb(&chunk_data(&c)->raw, "xyz", 3);
  ASSERT_EQ(chunk_write(&s, &c), 1);
  ASSERT_EQ(list_chunk_write(&s, &l), 1);
  chunk_delete(&c);
  list_chunk_delete(&l);
  stream_delete(&s);
  const auto* written = reinterpret_cast<const unsigned char*>(out.raw.data);
  bytes_t got(written, written + out.raw.length);
  EXPECT_EQ(got, (bytes_t{'o', 'd', 'd', '!', 3, 0, 0, 0, 'x', 'y', 'z', 'L', 'I', 'S', 'T', 7, 0, 0, 0, 'V', 'F', 'X', ' ', 'a', 'b', 'c'}));  // no pad byte

  bytes_t file = got;
  file.insert(file.end(), {'C', 'C', 'C', 'C', 9, 0, 0, 0, 1, 2});  // data cut short
  stream_make_on_array(&s, STREAM_READ, &out);
  array_trunc(out);
  array_catb(&out.raw, file.data(), int32_t(file.size()));
  ASSERT_EQ(chunk_read(&c, &s), 1);
  EXPECT_TRUE(chunk_is(&c, chunk_tag("odd!")) && c.length == 3u);
  chunk_delete(&c);
  ASSERT_EQ(list_chunk_read(&s, &l), 1);
  EXPECT_EQ(std::tuple(l.ok, l.type, array_bytes(&l.data.raw)), std::tuple(1, chunk_tag("VFX "), 3));
  list_chunk_delete(&l);
  EXPECT_EQ(chunk_read(&c, &s), 0);
  EXPECT_EQ(std::pair(stream_hasfailed(&s), stream_getposition(&s)), std::pair(0, int64_t(26)));  // at the cut chunk's tag
  stream_delete(&s);

  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  for (uint32_t length : {0u, 13u, 0x08000000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    bytes_t lie = chunk_bytes("LIES", bytes_t(12, 0xAB));  // 12 bytes do follow
    std::memcpy(lie.data() + 4, &length, 4);
    array_trunc(out);
    array_catb(&out.raw, lie.data(), int32_t(lie.size()));
    stream_make_on_array(&s, STREAM_READ, &out);
    EXPECT_EQ(chunk_read(&c, &s), 0) << length;
    EXPECT_EQ(std::pair(c.data.raw.data, stream_getposition(&s)), std::pair((std::byte*)nullptr, int64_t(0))) << length;
    stream_delete(&s);
  }
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024);  // a 128 MiB claim was not honoured even for a moment
  array_reset(out);
}
