// The offline renderer's command line and its block count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apps/kelvarin/render_options.hpp"

namespace {
int parse(std::vector<const char*> args, render_options* o, std::string* error) {
  std::vector<char*> argv{const_cast<char*>("kelvarin-render")};
  for (const char* a : args) argv.push_back(const_cast<char*>(a));
  return render_options_parse(o, int(argv.size()), argv.data(), error);
}
}  // namespace

TEST(RenderOptions, AcceptsEveryOptionInAnyOrder) {
  render_options o, d, h;
  std::string e;
  ASSERT_EQ(parse({"--seconds", "2.5", "out.wav", "--float", "--slot", "save-3.dat"}, &o, &e), 1) << e;
  EXPECT_STREQ(o.output, "out.wav");
  EXPECT_STREQ(o.slot, "save-3.dat");
  EXPECT_EQ(o.seconds, 2.5);
  EXPECT_EQ(o.float_p, 1);
  ASSERT_EQ(parse({"x.wav"}, &d, &e), 1);
  EXPECT_EQ(d.seconds, 10.0);
  EXPECT_EQ(d.float_p, 0);
  EXPECT_EQ(d.slot, nullptr);
  EXPECT_EQ(parse({"--help"}, &h, &e), 1);
  EXPECT_EQ(h.help_p, 1);
}

TEST(RenderOptions, RejectsWhatCannotBeRendered) {
  for (const auto& args : std::vector<std::vector<const char*>>{
           {}, {"--float"}, {"a.wav", "b.wav"}, {"--seconds"}, {"a.wav", "--slot"},
           {"--seconds", "0", "a.wav"}, {"--seconds", "-3", "a.wav"}, {"--seconds", "nan", "a.wav"},
           {"--seconds", "inf", "a.wav"}, {"--seconds", "1e9", "a.wav"}, {"--seconds", "10s", "a.wav"},
           {"--seconds", "", "a.wav"}, {"--midi-thru", "a.wav"}}) {
    render_options o;
    std::string e;
    EXPECT_EQ(parse(args, &o, &e), 0) << args.size();
    EXPECT_FALSE(e.empty());
  }
}

TEST(RenderOptions, BlocksCoverTheSecondsWithoutAnExtraBlockFromRounding) {
  EXPECT_EQ(render_blocks(10.0), 1723);  // 1722.66 rounded up
  EXPECT_EQ(render_blocks(2.56), 441);   // exactly 441 blocks, though 2.56 is not exact in binary
  EXPECT_EQ(render_blocks(256.0 / 44100.0), 1);
  EXPECT_EQ(render_blocks(0.0001), 1);
  EXPECT_EQ(render_blocks(RENDER_MAX_SECONDS), 1860469);
}
