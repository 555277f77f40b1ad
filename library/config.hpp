// The performance log: timing and statistics lines, on standard output unless a log file was named.
#pragma once
#include <cstdarg>

// The name is borrowed, not copied. Naming the same file again keeps the open stream; another name
// closes the old file (never standard output) and opens the new one, truncating it.
void perf_logfile(const char* path);
// Opens the named file, or takes standard output when no name was set. A file that cannot be opened
// leaves the stream unset; the next write tries again.
void require_perf_logfile();
void perf_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void perf_log_va(const char* format, va_list arguments);
