// Growable byte arrays: allocation, truncation and concatenation with sticky failure.
#include "toolset/array.hpp"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool private_array_reserve(array* a, int64_t needed) {
  if (needed <= a->capacity) return true;
  if (needed > INT32_MAX) return false;
  int64_t capacity = needed * 2 > INT32_MAX ? INT32_MAX : needed * 2;
  void* grown = std::realloc(a->data, size_t(capacity));
  if (!grown) return false;
  a->data = static_cast<std::byte*>(grown);
  a->capacity = int32_t(capacity);
  return true;
}

// Grows the array to `needed` bytes with the new part zeroed; fails the array when memory runs out.
bool private_array_grow_to(array* a, int64_t needed) {
  if (a->failed) return false;
  if (needed <= a->length) return true;
  if (!private_array_reserve(a, needed)) {
    array_fail(a);
    return false;
  }
  std::memset(a->data + a->length, 0, size_t(needed - a->length));
  a->length = int32_t(needed);
  return true;
}

}  // namespace

void* array_allocate(array* a, int32_t element_size, int32_t index) {
  if (!a || a->failed || element_size <= 0 || index < 0) return nullptr;
  int64_t end = (int64_t(index) + 1) * element_size;
  if (!private_array_grow_to(a, end)) return nullptr;
  return a->data + int64_t(index) * element_size;
}

void* array_get(const array* a, int32_t element_size, int32_t index) {
  if (!a || a->failed || element_size <= 0 || index < 0) return nullptr;
  if ((int64_t(index) + 1) * element_size > a->length) return nullptr;
  return a->data + int64_t(index) * element_size;
}

int32_t array_length(const array* a, int32_t element_size) {
  if (!a || a->failed || element_size <= 0) return -1;
  return a->length / element_size;
}

int32_t array_bytes(const array* a) { return (!a || a->failed) ? -1 : a->length; }

void array_truncate(array* a, int32_t element_size, int32_t count) {
  if (!a || a->failed || element_size <= 0 || count < 0) return;
  int64_t bytes = int64_t(count) * element_size;
  if (bytes < a->length) a->length = int32_t(bytes);
}

void array_trunc(array* a) {
  if (a && !a->failed) a->length = 0;
}

void array_reset(array* a) {
  if (!a) return;
  std::free(a->data);
  *a = array{};
}

void array_fail(array* a) {
  if (!a) return;
  array_reset(a);
  a->failed = 1;
}

int array_catb(array* destination, const void* bytes, int32_t count) {
  if (!destination || destination->failed || count < 0) return 0;
  if (count == 0) return 1;
  int32_t at = destination->length;
  if (!private_array_grow_to(destination, int64_t(at) + count)) return 0;
  std::memcpy(destination->data + at, bytes, size_t(count));
  return 1;
}

int array_cate(array* destination, const array* source, int32_t from_byte, int32_t to_byte) {
  if (!source || source->failed) {
    array_fail(destination);
    return 0;
  }
  if (from_byte < 0 || to_byte > source->length || from_byte > to_byte) return 0;
  return array_catb(destination, source->data + from_byte, to_byte - from_byte);
}

int array_cat(array* destination, const array* source) {
  return array_cate(destination, source, 0, source && !source->failed ? source->length : 0);
}

int array_cats(array* destination, const char* text) {
  return array_catb(destination, text, int32_t(std::strlen(text)));
}

int array_cats0(array* destination, const char* text) {
  return array_catb(destination, text, int32_t(std::strlen(text) + 1));
}
