// The performance log: one stream, flushed after every line, written from the audio and display threads.
#include "library/config.hpp"

#include <cstdio>
#include <cstring>

namespace {
const char* log_name = nullptr;
FILE* log_stream = nullptr;
}  // namespace

void perf_logfile(const char* path) {
  if (log_name && path && std::strcmp(log_name, path) == 0) return;
  log_name = path;
  if (log_stream && log_stream != stdout) std::fclose(log_stream);
  log_stream = path ? std::fopen(path, "wb") : nullptr;
}

void require_perf_logfile() {
  if (log_stream) return;
  log_stream = log_name ? std::fopen(log_name, "wb") : stdout;
}

void perf_log_va(const char* format, va_list arguments) {
  require_perf_logfile();
  if (!log_stream) return;
  std::vfprintf(log_stream, format, arguments);
  std::fflush(log_stream);
}

void perf_log(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  perf_log_va(format, arguments);
  va_end(arguments);
}
