// The JACK output's period pump under RealtimeSanitizer: the instrument's callback through the kept
// left-over block and the resampler at 48000 Hz in periods of 64 frames, every period a real-time context.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "library/devices/audio-pump.hpp"
#include "tests/engine/engine_fixture.hpp"

extern "C" void __rtsan_realtime_enter();
extern "C" void __rtsan_realtime_exit();

TEST(Realtime, PumpRunsTheCallbackAndResamplerWithoutAllocatingOrLocking) {
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
