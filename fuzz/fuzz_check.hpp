// A fuzz-target assertion that stays armed in optimised builds.
#pragma once
#include <cstdio>
#include <cstdlib>

inline void fuzz_check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}
