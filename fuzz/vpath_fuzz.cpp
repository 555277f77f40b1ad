// Any text as a path: a known prefix is replaced, everything else comes back byte for byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/brightloom/env-all.hpp"
#include "fuzz/fuzz_check.hpp"

namespace {
const char* const ROOT = "/fuzz/res";

std::string expected(const std::string& path) {
  const std::pair<const char*, std::string> table[] = {
      {"virtual://data/", std::string(ROOT) + "/data/"},
      {"virtual://root/", std::string(ROOT) + "/"},
      {"virtual://material/", "/mnt/storage/private-media/material/"},
      {"virtual://shaders/", std::string(ROOT) + "/shaders/"}};
  for (const auto& [prefix, replacement] : table) {
    if (path.rfind(prefix, 0) == 0) return replacement + path.substr(std::strlen(prefix));
  }
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("KELVARIN_RESOURCES", ROOT, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  byte_array out = vpath(path.c_str());
  std::string want = expected(path);
  fuzz_check(array_bytes(&out.raw) == int32_t(want.size() + 1), "one terminating NUL");
  fuzz_check(std::memcmp(out.raw.data, want.c_str(), want.size() + 1) == 0, "resolved path");
  array_reset(out);
  return 0;
}
