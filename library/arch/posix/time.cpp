// Wall-clock milliseconds from the time of day.
#include "library/arch/posix/time.hpp"

#include <sys/time.h>

double get_milliseconds() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return double(tv.tv_sec) * 1000.0 + double(tv.tv_usec) * 0.001;
}

double get_milliseconds_in_unix() { return get_milliseconds(); }
