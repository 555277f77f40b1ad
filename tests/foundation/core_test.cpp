// The performance log's file handling and the display statistics record.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "library/arch/opengl/frame-stats.hpp"
#include "library/arch/posix/time.hpp"
#include "library/config.hpp"

namespace {
std::string slurp(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}
}  // namespace

TEST(PerfLog, SameNameKeepsTheStreamAnotherNameTruncates) {
  std::string a = ::testing::TempDir() + "perf-a.log", b = ::testing::TempDir() + "perf-b.log";
  {
    std::ofstream old(b);
    old << "old contents that must go\n";
  }
  perf_logfile(a.c_str());
  perf_log("one %d\n", 1);
  perf_logfile(a.c_str());  // same name: keeps appending to the open stream
  perf_log("two\n");
  EXPECT_EQ(slurp(a), "one 1\ntwo\n");  // flushed after every line
  perf_logfile(b.c_str());
  perf_log("three\n");
  EXPECT_EQ(slurp(b), "three\n");
  EXPECT_EQ(slurp(a), "one 1\ntwo\n");
  perf_logfile("/nonexistent-dir/x.log");  // cannot open: writes are dropped, nothing crashes
  perf_log("lost\n");
}

TEST(FrameStats, ResetAndCollect) {
  frame_stats s;
  frame_stats_make(&s);
  EXPECT_EQ(s.interval_min, 1e20);
  frame_stats_collect(&s, 16.0, 2.0);
  frame_stats_collect(&s, 18.0, 1.0);
  EXPECT_EQ(s.count, 2);
  EXPECT_EQ(s.interval_sum, 34.0);
  EXPECT_EQ(s.interval_min, 16.0);
  EXPECT_EQ(s.interval_max, 18.0);
  EXPECT_EQ(s.creation_min, 1.0);
  EXPECT_EQ(s.creation_max, 2.0);
}

TEST(Clock, MillisecondsAdvance) {
  double a = get_milliseconds();
  EXPECT_GT(a, 1.6e12);  // after 2020, in milliseconds
  EXPECT_LE(a, get_milliseconds_in_unix());
}
