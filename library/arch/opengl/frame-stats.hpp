// Display timing statistics: intervals between shown frames and the time spent creating them.
#pragma once
#include <cstdint>

struct frame_stats {
  double interval_sum;
  double creation_sum;
  double interval_min;
  double interval_max;
  double creation_min;
  double creation_max;
  int32_t count;
};

void frame_stats_make(frame_stats* s);
void frame_stats_collect(frame_stats* s, double interval, double creation);
