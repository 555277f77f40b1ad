// The audio callback under RealtimeSanitizer: no allocation, lock or blocking call in any block.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/engine/engine_fixture.hpp"

extern "C" void __rtsan_realtime_enter();
extern "C" void __rtsan_realtime_exit();

namespace {

// One block as the audio thread runs it: everything inside is a real-time context.
void realtime_block(engine_frames& frames) {
  __rtsan_realtime_enter();
  audiofn(nullptr, &frames.frame);
  __rtsan_realtime_exit();
  frames.frame.frame_counter++;
}

// Round r: kinds 0..12 (12 is unknown) and cell types 0..10 (10 unknown) over all positions, a Euclidean
// trigger source, delays, filters and pan in use.
void patch(synth_state& s, int r) {
  for (int i = 0; i < 8; ++i) {
    s.oscs[i].kind = (i + r) % 13;
    s.oscs[i].p1 = 0.05f * float(r % 20);
    s.voices[i].volume = 0.7f;
    s.voices[i].pan = 0.25f * float(i - 4);
    s.voices[i].delay_wet = 0.3f;
    s.voices[i].delay_time = 1000.0f * float(1 + (i + r) % 15) * 40.0f;  // up to the whole 15 s
    s.voices[i].lp_cutoff = r % 3 ? 2000.0f : 22050.0f;
    s.voices[i].hp_cutoff = 100.0f;
    for (int j = 0; j < 8; ++j) {
      if (j != i) s.cells[j][i] = {(i + j + r) % 11, 0.3f, 1.0f, 0.0f, 0};
    }
  }
  s.oscs[0].kind = OSC_EUC;
  s.cells[0][5] = {MOD_TRG, 1.0f, 1.0f, 0.0f, 0};
}

}  // namespace

TEST(Realtime, CallbackIsRealtimeSafeAcrossKindsCellsFlipsNoteOnsAndTriggers) {
  engine_reset();
  oui_history_begin();
  engine_frames frames;
  for (int b = 0; b < 517; ++b) realtime_block(frames);  // the silent start, first-call filter set-up
  for (int r = 0; r < 40; ++r) {
    synth_state next = synth();
    patch(next, r);
    engine_load(next);  // the loader's flip happens on the main thread
    for (int b = 0; b < 12; ++b) {
      modmatrix_note_on(&synth(), (r + b) % 8, 40 + b);  // as the MIDI thread would
      realtime_block(frames);
    }
  }
  for (int b = 0; b < 44; ++b) realtime_block(frames);
  EXPECT_EQ(synth().fade, 1.0f);  // the last crossfade ran to its end, every block inside the sanitizer
}

// The sanitizer is really watching: an allocation inside a real-time section ends the process.
TEST(RealtimeDeathTest, AllocationInARealtimeSectionIsReported) {
  EXPECT_DEATH(
      {
        __rtsan_realtime_enter();
        void* volatile p = std::malloc(64);
        std::free(p);
        __rtsan_realtime_exit();
      },
      "malloc");
}
