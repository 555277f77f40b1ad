// Display timing statistics: sums, extremes and a count since the last reset.
#include "library/arch/opengl/frame-stats.hpp"

void frame_stats_make(frame_stats* s) { *s = {0.0, 0.0, 1e20, 0.0, 1e20, 0.0, 0}; }

void frame_stats_collect(frame_stats* s, double interval, double creation) {
  s->interval_sum += interval;
  s->creation_sum += creation;
  if (interval > s->interval_max) s->interval_max = interval;
  if (interval < s->interval_min) s->interval_min = interval;
  if (creation > s->creation_max) s->creation_max = creation;
  if (creation < s->creation_min) s->creation_min = creation;
  s->count++;
}
