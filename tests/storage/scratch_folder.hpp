// A fresh resource folder per test, named through KELVARIN_RESOURCES, so tests never touch a performer's
// slots; with helpers that read and write whole files, assemble chunks by hand and load bytes.
#pragma once
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "apps/kelvarin/presets.hpp"

using bytes_t = std::vector<unsigned char>;

class scratch_folder {
 public:
  scratch_folder() {
    char name[] = "/tmp/kv-storage-XXXXXX";
    path_ = mkdtemp(name) ? name : "";
    setenv("KELVARIN_RESOURCES", path_.c_str(), 1);
  }
  ~scratch_folder() {
    unsetenv("KELVARIN_RESOURCES");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline bytes_t read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes_t(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const bytes_t& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline uint32_t word_at(const bytes_t& b, size_t at) {
  uint32_t w = 0;
  std::memcpy(&w, b.data() + at, 4);
  return w;
}
inline float float_at(const bytes_t& b, size_t at) {
  float f = 0;
  std::memcpy(&f, b.data() + at, 4);
  return f;
}
inline std::string tag_at(const bytes_t& b, size_t at) { return std::string(b.begin() + long(at), b.begin() + long(at) + 4); }

// Chunk bytes assembled by hand: tag, little-endian length, data.
inline bytes_t chunk_bytes(const char* tag, const bytes_t& data) {
  bytes_t out(tag, tag + 4);
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(data.size() >> shift));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}
inline bytes_t list_bytes(const char* tag, const char* type, const std::vector<bytes_t>& members) {
  bytes_t data(type, type + 4);
  for (const bytes_t& m : members) data.insert(data.end(), m.begin(), m.end());
  return chunk_bytes(tag, data);
}

inline bytes_t as_bytes(const byte_array& a) {
  const auto* p = reinterpret_cast<const unsigned char*>(a.raw.data);
  return p ? bytes_t(p, p + a.raw.length) : bytes_t{};
}
inline byte_array array_of(const bytes_t& b) {
  byte_array a{};
  array_catb(&a.raw, b.data(), int32_t(b.size()));
  return a;
}

// Loads a slot from bytes in memory and returns the loader's message.
inline const char* load_bytes(const bytes_t& file) {
  byte_array a = array_of(file);
  stream s;
  stream_make_on_array(&s, STREAM_READ, &a);
  const char* message = load(&s);
  stream_delete(&s);
  array_reset(a);
  return message;
}
