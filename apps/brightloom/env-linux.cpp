// The resource directory on Linux: the folder "resources" beside the running executable.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/brightloom/env-all.hpp"

namespace {

// Resolved once from /proc/self/exe, so the working directory the program is started from does not
// matter. Falls back to "resources" relative to the working directory if the link cannot be read.
std::string private_beside_executable() {
  char exe[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
  if (n <= 0) return "resources";
  exe[n] = 0;
  char* slash = std::strrchr(exe, '/');
  if (!slash) return "resources";
  slash[1] = 0;
  return std::string(exe) + "resources";
}

}  // namespace

// KELVARIN_RESOURCES, when set and not empty, names another resource directory: tests and try-outs use
// it so they never write into a performer's slots.
const char* get_resource_path() {
  const char* chosen = std::getenv("KELVARIN_RESOURCES");
  if (chosen && *chosen) return chosen;
  static const std::string beside = private_beside_executable();
  return beside.c_str();
}
