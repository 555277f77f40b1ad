// The audio thread's work under RealtimeSanitizer: no allocation, lock or blocking call in the callback,
// the recorder's copy into its ring, or the JACK output's pump and resampler.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "apps/kelvarin/recorder.hpp"
#include "library/devices/audio-pump.hpp"
#include "tests/engine/engine_fixture.hpp"

extern "C" void __rtsan_realtime_enter();
extern "C" void __rtsan_realtime_exit();

// Every kind (and one unknown) on every oscillator, every cell type (and one unknown) over the matrix,
// 15 s delays, filters, flips, note-ons and triggers, each block and its copy into the recorder's ring
// inside a real-time section, more blocks than the ring holds while the writer drains it into the file.
TEST(Realtime, CallbackAndRecordingAcrossKindsCellsFlipsNoteOnsAndTriggers) {
  char folder[] = "/tmp/kv-rtsan-rec-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  setenv("KELVARIN_RESOURCES", folder, 1);
  engine_reset();
  oui_history_begin();
  engine_frames frames(false);
  ASSERT_EQ(recorder_start(), 1);
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
      recorder_accept(frames.frame.left, frames.frame.right, AUDIO_BLOCK);
      __rtsan_realtime_exit();
      if (b % 8 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));  // a block's pace, roughly
    }
  }
  EXPECT_EQ(synth().fade, 1.0f);  // the last crossfade ran to its end, every block inside the sanitizer
  recorder_stop();
  ASSERT_TRUE(recorder_wait_idle(10.0));
  SF_INFO info{};
  sf_close(sf_open(recorder_path().c_str(), SFM_READ, &info));
  EXPECT_EQ(info.frames, (517 + 39 * 12 + 56) * AUDIO_BLOCK) << "every block reached the file";
  std::filesystem::remove_all(folder);
}

// The instrument's callback through the kept left-over block and the resampler at 48000 Hz in periods of
// 64 frames, every period a real-time section.
TEST(Realtime, PumpRunsTheCallbackAndResampler) {
  engine_reset();
  synth().voices[0].volume = 1.0f;
  audio_device device{AUDIO_DEVICE_JACK, audiofn, nullptr, 0};
  audio_pump pump;
  ASSERT_TRUE(audio_pump_make(&pump, &device, 48000));
  pump.frame.report_time = 1e300;  // no statistics line in tests
  float left[64], right[64], peak = 0.0f;
  for (int period = 0; period < 48000 * 4 / 64; ++period) {  // past the silent start
    __rtsan_realtime_enter();
    audio_pump_run(&pump, left, right, 64);
    __rtsan_realtime_exit();
    for (float v : left) peak = std::max(peak, std::fabs(v));
  }
  audio_pump_delete(&pump);
  EXPECT_GT(peak, 0.5f);  // the voice went through the resampler
}

// The sanitizer is really watching: an allocation inside a real-time section ends the process.
TEST(RealtimeDeathTest, AllocationInARealtimeSectionIsReported) { EXPECT_DEATH({ __rtsan_realtime_enter(); void* volatile p = std::malloc(64); std::free(p); }, "malloc"); }
