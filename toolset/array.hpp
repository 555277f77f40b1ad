// Growable byte arrays that keep their memory when emptied and record allocation failure instead of throwing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Lengths and capacities are in bytes and never exceed INT32_MAX. A failed array reports -1 for its
// length and refuses every allocation until it is reset.
struct array {
  std::byte* data = nullptr;
  int32_t failed = 0;
  int32_t length = 0;
  int32_t capacity = 0;
};

// Makes element `index` exist (new bytes zeroed) and returns its address, or null on failure.
void* array_allocate(array* a, int32_t element_size, int32_t index);
void* array_get(const array* a, int32_t element_size, int32_t index);
int32_t array_length(const array* a, int32_t element_size);
int32_t array_bytes(const array* a);
void array_truncate(array* a, int32_t element_size, int32_t count);  // only ever shortens
void array_trunc(array* a);                                           // empties, keeps the memory
void array_reset(array* a);                                           // frees, clears the failed flag
void array_fail(array* a);                                            // frees and marks failed
int array_cat(array* destination, const array* source);
int array_cate(array* destination, const array* source, int32_t from_byte, int32_t to_byte);
int array_catb(array* destination, const void* bytes, int32_t count);
int array_cats(array* destination, const char* text);   // without the terminating zero
int array_cats0(array* destination, const char* text);  // with the terminating zero

// Element-typed view over the byte array; T must be a plain record since bytes are moved with memcpy.
template <class T>
struct typed_array {
  static_assert(std::is_trivially_copyable_v<T>);
  array raw;
};

template <class T>
T* array_allocate(typed_array<T>& a, int32_t index) {
  return static_cast<T*>(array_allocate(&a.raw, int32_t(sizeof(T)), index));
}
template <class T>
T* array_get(const typed_array<T>& a, int32_t index) {
  return static_cast<T*>(array_get(&a.raw, int32_t(sizeof(T)), index));
}
template <class T>
int32_t array_length(const typed_array<T>& a) {
  return array_length(&a.raw, int32_t(sizeof(T)));
}
template <class T>
T* array_push(typed_array<T>& a, const T& value) {
  int32_t n = array_length(a);
  T* slot = n < 0 ? nullptr : array_allocate(a, n);
  if (slot) *slot = value;
  return slot;
}
template <class T>
void array_truncate(typed_array<T>& a, int32_t count) { array_truncate(&a.raw, int32_t(sizeof(T)), count); }
template <class T>
void array_trunc(typed_array<T>& a) { array_trunc(&a.raw); }
template <class T>
void array_reset(typed_array<T>& a) { array_reset(&a.raw); }
template <class T>
void array_fail(typed_array<T>& a) { array_fail(&a.raw); }
template <class T>
T* array_data(const typed_array<T>& a) { return reinterpret_cast<T*>(a.raw.data); }

using float_array = typed_array<float>;
using int_array = typed_array<int32_t>;
using byte_array = typed_array<char>;  // also holds NUL-terminated strings (paths, prefixes)
