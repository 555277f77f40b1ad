// The audio callback under RealtimeSanitizer: no allocation, lock or blocking call in any block.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/engine/engine_fixture.hpp"

extern "C" void __rtsan_realtime_enter();
extern "C" void __rtsan_realtime_exit();

// Every kind (and one unknown) on every oscillator, every cell type (and one unknown) over the matrix,
// 15 s delays, filters, flips, note-ons and triggers, each block inside a real-time section.
TEST(Realtime, CallbackIsRealtimeSafeAcrossKindsCellsFlipsNoteOnsAndTriggers) {
  engine_reset();
  oui_history_begin();
  engine_frames frames(false);
  for (int r = -1, b = 0; r < 40; ++r, b = 0) {
    synth_state next = synth();
    for (int i = 0; i < VOICES; ++i) {
      next.oscs[i].kind = i ? (i + r) % (OSC_WAVEFORMS + 1) : OSC_EUC, next.oscs[i].p1 = 0.05f * float(r % 20);
      next.voices[i] = {0.7f, 0.25f * float(i - 4), 0.5f, 0.3f, 40000.0f * float(1 + (i + r) % 15), r % 3 ? 2000.0f : 22050.0f, 0.0f, 100.0f, 0.0f, {}};
      for (int j = 0; j < VOICES; ++j) next.cells[j][i] = {j == i ? MOD_OUT : j == 0 && i == 5 ? MOD_TRG : (i + j + r) % (MOD_TYPES + 1), 0.3f, 1.0f, 0.0f, 0};
    }
    if (r >= 0) engine_load(next);  // the loader's flip happens on the main thread
    for (; b < (r < 0 ? 517 : r < 39 ? 12 : 56); ++b, frames.frame.frame_counter++) {  // first the silent start
      modmatrix_note_on(&synth(), (r + b) % 8, 40 + b);  // as the MIDI thread would
      __rtsan_realtime_enter();
      audiofn(nullptr, &frames.frame);
      __rtsan_realtime_exit();
    }
  }
  EXPECT_EQ(synth().fade, 1.0f);  // the last crossfade ran to its end, every block inside the sanitizer
}

// The sanitizer is really watching: an allocation inside a real-time section ends the process.
TEST(RealtimeDeathTest, AllocationInARealtimeSectionIsReported) { EXPECT_DEATH({ __rtsan_realtime_enter(); void* volatile p = std::malloc(64); std::free(p); }, "malloc"); }
