// Whole-word access to fields shared between the audio, MIDI, OSC and display threads.
#pragma once
#include <atomic>

// Every shared field is one aligned 32-bit word (or an index selecting a double-buffered half); a
// reader sees the old or the new value. Relaxed unless an order between two words matters.
template <class T>
inline T load_relaxed(const T& word) {
  return std::atomic_ref<T>(const_cast<T&>(word)).load(std::memory_order_relaxed);
}
template <class T>
inline void store_relaxed(T& word, T value) {
  std::atomic_ref<T>(word).store(value, std::memory_order_relaxed);
}
template <class T>
inline T load_acquire(const T& word) {
  return std::atomic_ref<T>(const_cast<T&>(word)).load(std::memory_order_acquire);
}
template <class T>
inline void store_release(T& word, T value) {
  std::atomic_ref<T>(word).store(value, std::memory_order_release);
}
