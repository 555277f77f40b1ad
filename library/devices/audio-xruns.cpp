// One aligned word counts the xruns: written by the audio server's thread, read by the display thread.
#include "library/devices/audio-xruns.hpp"

#include <atomic>

namespace {
alignas(4) int32_t xruns = 0;
}  // namespace

void audio_io_note_xrun() { std::atomic_ref<int32_t>(xruns).fetch_add(1, std::memory_order_relaxed); }

int32_t audio_io_xrun_count() { return std::atomic_ref<int32_t>(xruns).load(std::memory_order_relaxed); }
