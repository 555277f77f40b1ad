// The JACK output's pump without a server: engine blocks cut into periods of any size and resampled.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "library/devices/audio-pump.hpp"

namespace {

double sine(int64_t n) { return 0.5 * std::sin(2.0 * M_PI * 440.0 * double(n) / 44100.0); }

// A 440 Hz sine at 0.5 (right: its negative) from the engine's running sample number through the pump;
// the stream ends after `blocks` blocks.
struct pumped {
  int64_t sample = 0, blocks = 1 << 30, calls = 0;
  audio_device device{AUDIO_DEVICE_JACK, play, this, 0};
  audio_pump pump{};
  std::vector<float> left, right;
  bool made;
  explicit pumped(uint32_t rate) : made(audio_pump_make(&pump, &device, rate) == 1) { pump.frame.report_time = 1e300; }
  ~pumped() {
    if (made) audio_pump_delete(&pump);
  }
  static void play(void* user, audio_frame* frame) {
    auto* p = static_cast<pumped*>(user);
    if (p->calls++ >= p->blocks) return audio_frame_commit_none(frame);
    float *l, *r;
    audio_frame_define_stereo(frame, &l, &r);
    for (int i = 0; i < AUDIO_BLOCK; ++i) l[i] = float(sine(p->sample++)), r[i] = -l[i];
    audio_frame_commit(frame);
  }
  void run(int32_t period, int32_t periods) {
    std::vector<float> l(size_t(period), 1.0f), r(size_t(period), 1.0f);
    for (int32_t k = 0; k < periods; ++k) {
      audio_pump_run(&pump, l.data(), r.data(), period);
      left.insert(left.end(), l.begin(), l.end()), right.insert(right.end(), r.begin(), r.end());
    }
  }
};

}  // namespace

// Every period size and rate: the tone keeps its pitch (zero crossings) and never steps further than a
// 440 Hz sine at 0.5 can (a dropped, repeated or zeroed left-over would), and both channels stay apart.
TEST(Pump, PeriodsOfAnySizeAtAnyRateCarryTheToneWithoutGapOrJump) {
  for (auto [rate, period] : {std::pair{44100u, 16}, {44100u, 1000}, {44100u, 4096}, {48000u, 64}, {96000u, 333}, {22050u, 256}}) {
    pumped p(rate);
    ASSERT_TRUE(p.made) << rate;
    p.run(period, int32_t(rate) * 2 / period);
    std::vector<double> up;  // past the resampler's own start
    for (size_t i = rate / 10; i + 1 < p.left.size(); ++i) {
      ASSERT_LE(std::fabs(p.left[i + 1] - p.left[i]), 1.01 * 2.0 * M_PI * 440.0 * 0.5 / rate) << rate << " " << period << " at " << i;
      ASSERT_NEAR(p.right[i], -p.left[i], 1e-6);
      if (p.left[i] < 0 && p.left[i + 1] >= 0) up.push_back(double(i) + p.left[i] / (p.left[i] - p.left[i + 1]));
    }
    EXPECT_NEAR(double(up.size() - 1) * rate / (up.back() - up.front()), 440.0, 0.01) << rate << " " << period;
  }
}

// At the engine's own rate the samples pass unchanged and in order, a period never waiting for more than
// the block it needs; the stream's end, a period too long and a rate the resampler cannot reach give
// silence, never a read past a buffer.
TEST(Pump, UnchangedAtTheEngineRateSilentAfterTheEndOrPastTheLongestPeriod) {
  pumped p(44100);
  p.run(100, 50);
  for (size_t i = 0; i < p.left.size(); ++i) ASSERT_EQ(p.left[i], float(sine(int64_t(i)))) << i;
  EXPECT_EQ(p.calls, (50 * 100 + AUDIO_BLOCK - 1) / AUDIO_BLOCK);
  pumped ended(48000);
  ended.blocks = 3;
  ended.run(512, 4);
  EXPECT_TRUE(audio_pump_ended(&ended.pump));
  EXPECT_EQ(std::pair(ended.calls, ended.left.back()), std::pair(int64_t(4), 0.0f));  // nothing called after the end
  pumped overlong(44100);
  overlong.run(AUDIO_PERIOD_MAX + 1, 1);
  EXPECT_EQ(overlong.calls, 0);
  for (float v : overlong.left) ASSERT_EQ(v, 0.0f);
  EXPECT_FALSE(pumped(44101).made);
}

