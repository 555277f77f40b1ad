// A fresh resource folder per test, named through KELVARIN_RESOURCES, so tests never touch a performer's
// slots; with helpers that read and write whole files, assemble chunks by hand and load bytes.
#pragma once
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "apps/kelvarin/presets.hpp"

using bytes_t = std::vector<unsigned char>;

struct scratch_folder {
  std::string path = [] {
    char name[] = "/tmp/kv-storage-XXXXXX";
    setenv("KELVARIN_RESOURCES", mkdtemp(name), 1);
    return std::string(name);
  }();
  ~scratch_folder() { std::filesystem::remove_all(path), unsetenv("KELVARIN_RESOURCES"); }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

inline bytes_t read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes_t(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const bytes_t& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

template <class T = uint32_t>
T value_at(const bytes_t& b, size_t at) {
  T v{};
  std::memcpy(&v, b.data() + at, sizeof v);
  return v;
}

template <class T>
bytes_t bytes_of(const T& value) {
  return bytes_t(reinterpret_cast<const unsigned char*>(&value), reinterpret_cast<const unsigned char*>(&value) + sizeof value);
}

// Chunk bytes assembled by hand: tag, little-endian length, data; a list is a chunk of a type and members.
inline bytes_t chunk_bytes(const char* tag, bytes_t data) {
  bytes_t length = bytes_of(uint32_t(data.size()));
  data.insert(data.begin(), length.begin(), length.end());
  data.insert(data.begin(), tag, tag + 4);
  return data;
}
inline bytes_t list_bytes(const char* tag, const char* type, const std::vector<bytes_t>& members) {
  bytes_t data(type, type + 4);
  for (const bytes_t& m : members) data.insert(data.end(), m.begin(), m.end());
  return chunk_bytes(tag, data);
}

// Loads a slot from bytes in memory and returns the loader's message.
inline const char* load_bytes(const bytes_t& file) {
  byte_array a{};
  array_catb(&a.raw, file.data(), int32_t(file.size()));
  stream s;
  stream_make_on_array(&s, STREAM_READ, &a);
  const char* message = load(&s);
  stream_delete(&s);
  array_reset(a);
  return message;
}
