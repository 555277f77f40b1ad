// Virtual paths and the resource folder beside the executable.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "apps/brightloom/env-all.hpp"

namespace {
std::string resolved(const char* path) {
  byte_array out = vpath(path);
  std::string text = out.raw.data ? std::string(array_data(out)) : std::string("<null>");
  EXPECT_EQ(array_bytes(&out.raw), int32_t(text.size() + 1)) << "exactly one terminating NUL";
  array_reset(out);
  return text;
}
}  // namespace

TEST(Vpath, KnownPrefixesAreReplaced) {
  setenv("KELVARIN_RESOURCES", "/opt/kv/res", 1);
  EXPECT_EQ(resolved("virtual://root/title.jpg"), "/opt/kv/res/title.jpg");
  EXPECT_EQ(resolved("virtual://data/"), "/opt/kv/res/data/");
  EXPECT_EQ(resolved("virtual://shaders/blur.fs"), "/opt/kv/res/shaders/blur.fs");
  EXPECT_EQ(resolved("virtual://root/save-3.dat"), "/opt/kv/res/save-3.dat");
  EXPECT_EQ(resolved("virtual://material/x/y.png"), "/mnt/storage/private-media/material/x/y.png");
  unsetenv("KELVARIN_RESOURCES");
}

TEST(Vpath, AnythingElsePassesThroughUnchanged) {
  EXPECT_EQ(resolved("virtual://root"), "virtual://root");
  EXPECT_EQ(resolved("VIRTUAL://ROOT/title.jpg"), "VIRTUAL://ROOT/title.jpg");
  EXPECT_EQ(resolved("virtual://roots/a"), "virtual://roots/a");
  EXPECT_EQ(resolved("/usr/share/a.dat"), "/usr/share/a.dat");
  EXPECT_EQ(resolved(""), "");
  EXPECT_EQ(resolved(nullptr), "");
  EXPECT_EQ(resolved("x/virtual://root/a"), "x/virtual://root/a");  // only a prefix counts
}

TEST(ResourcePath, IsTheFolderBesideTheExecutableWhateverTheWorkingDirectory) {
  unsetenv("KELVARIN_RESOURCES");
  char exe[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
  ASSERT_GT(n, 0);
  std::string folder(exe, size_t(n));
  folder = folder.substr(0, folder.rfind('/'));
  char before[PATH_MAX];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  ASSERT_EQ(chdir("/"), 0);
  std::string got = get_resource_path();
  ASSERT_EQ(chdir(before), 0);
  EXPECT_EQ(got, folder + "/resources");
  setenv("KELVARIN_RESOURCES", "", 1);  // empty means not set
  EXPECT_EQ(std::string(get_resource_path()), folder + "/resources");
  unsetenv("KELVARIN_RESOURCES");
}

TEST(Parser, StringStepsRestoreTheCursorOnFailure) {
  const char text[] = "save-3.dat";
  parser p;
  parser_make(&p, text, 10);
  char buffer[8];
  EXPECT_EQ(parse_the_string(&p, "save-4"), 0);
  EXPECT_EQ(parser_position(&p), 0);
  EXPECT_EQ(parse_the_string(&p, "save-"), 1);
  EXPECT_EQ(parse_a_string(&p, buffer, 6), 0);  // only 5 left
  EXPECT_EQ(parser_position(&p), 5);
  EXPECT_EQ(parse_a_string(&p, buffer, 1), 1);
  EXPECT_STREQ(buffer, "3");
  byte_array out{};
  EXPECT_EQ(parse_virtual_root(&p, &out), 0);
  EXPECT_EQ(array_bytes(&out.raw), 0);
  EXPECT_EQ(parse_rest_of_path(&p, &out), 1);
  EXPECT_STREQ(array_data(out), ".dat");
  EXPECT_EQ(parser_remaining(&p), 0);
  array_reset(out);
}
