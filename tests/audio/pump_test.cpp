// The JACK output's pump without a server: engine blocks cut into periods of any size and resampled.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "library/devices/audio-pump.hpp"
#include "library/devices/audio-xruns.hpp"

namespace {

// A 440 Hz sine at 0.5 from the engine's running sample number; ends the stream after `blocks` blocks.
struct sine_source {
  int64_t sample = 0, blocks = 1 << 30, calls = 0;
};

void play_sine(void* user, audio_frame* frame) {
  auto* s = static_cast<sine_source*>(user);
  if (s->calls++ >= s->blocks) return audio_frame_commit_none(frame);
  float *left, *right;
  audio_frame_define_stereo(frame, &left, &right);
  for (int i = 0; i < AUDIO_BLOCK; ++i, ++s->sample) {
    left[i] = float(0.5 * std::sin(2.0 * M_PI * 440.0 * double(s->sample) / 44100.0));
    right[i] = -left[i];
  }
  audio_frame_commit(frame);
}

struct pumped {
  sine_source source;
  audio_device device{AUDIO_DEVICE_JACK, play_sine, &source, 0};
  audio_pump pump{};
  std::vector<float> left, right;
  bool made;
  explicit pumped(uint32_t rate) : made(audio_pump_make(&pump, &device, rate) == 1) { pump.frame.report_time = 1e300; }
  ~pumped() {
    if (made) audio_pump_delete(&pump);
  }
  void run(int32_t period, int32_t periods) {
    std::vector<float> l(static_cast<size_t>(period)), r(static_cast<size_t>(period));
    for (int32_t k = 0; k < periods; ++k) {
      audio_pump_run(&pump, l.data(), r.data(), period);
      left.insert(left.end(), l.begin(), l.end());
      right.insert(right.end(), r.begin(), r.end());
    }
  }
};

double zero_crossing_hz(const std::vector<float>& x, size_t from, double rate) {
  std::vector<double> t;
  for (size_t i = from; i + 1 < x.size(); ++i)
    if (x[i] < 0 && x[i + 1] >= 0) t.push_back(double(i) + x[i] / (x[i] - x[i + 1]));
  return double(t.size() - 1) * rate / (t.back() - t.front());
}

}  // namespace

// Every period size and rate: the tone keeps its pitch and never steps further than a 440 Hz sine at
// 0.5 can (a dropped, repeated or zeroed left-over would), and both channels stay apart.
TEST(Pump, PeriodsOfAnySizeAtAnyRateCarryTheToneWithoutGapOrJump) {
  struct {
    uint32_t rate;
    int32_t period;
  } cases[] = {{44100, 16}, {44100, 64}, {44100, 1000}, {44100, 4096}, {48000, 64}, {48000, 1024}, {96000, 333}, {22050, 256}};
  for (auto c : cases) {
    pumped p(c.rate);
    ASSERT_TRUE(p.made) << c.rate;
    p.run(c.period, int32_t(c.rate) * 2 / c.period);
    size_t settled = c.rate / 10;  // past the resampler's own start
    double bound = 1.01 * 2.0 * M_PI * 440.0 * 0.5 / c.rate;
    for (size_t i = settled; i + 1 < p.left.size(); ++i) {
      ASSERT_LE(std::fabs(p.left[i + 1] - p.left[i]), bound) << c.rate << " " << c.period << " at " << i;
      ASSERT_NEAR(p.right[i], -p.left[i], 1e-6);
    }
    EXPECT_NEAR(zero_crossing_hz(p.left, settled, c.rate), 440.0, 0.01) << c.rate << " " << c.period;
  }
}

// At the engine's own rate the samples pass unchanged and in order: a period never waits for more than
// the block it needs, so the added latency is under one block.
TEST(Pump, AtTheEngineRateSamplesPassUnchangedWithLessThanABlockHeldBack) {
  pumped p(44100);
  ASSERT_TRUE(p.made);
  p.run(100, 50);
  for (size_t i = 0; i < p.left.size(); ++i)
    ASSERT_EQ(p.left[i], float(0.5 * std::sin(2.0 * M_PI * 440.0 * double(i) / 44100.0))) << i;
  EXPECT_EQ(p.source.calls, (50 * 100 + AUDIO_BLOCK - 1) / AUDIO_BLOCK);
}

// The stream's end, a period too long and a rate the resampler cannot reach: silence, never a read
// past a buffer.
TEST(Pump, EndedStreamsAndOverlongPeriodsAreSilentAndUnreachableRatesRefused) {
  pumped ended(48000);
  ended.source.blocks = 3;
  ended.run(512, 4);
  EXPECT_TRUE(audio_pump_ended(&ended.pump));
  EXPECT_EQ(ended.source.calls, 4);  // nothing is called after the none frame
  EXPECT_EQ(ended.left.back(), 0.0f);

  pumped overlong(44100);
  overlong.run(AUDIO_PERIOD_MAX + 1, 1);
  EXPECT_EQ(overlong.source.calls, 0);
  for (float v : overlong.left) ASSERT_EQ(v, 0.0f);

  EXPECT_FALSE(pumped(44101).made);
}

// An xrun shows with the next statistics line, once: a line follows only a changed count.
TEST(Pump, ChangedXrunCountGoesWithTheStatisticsLine) {
  pumped p(44100);
  float l[AUDIO_BLOCK], r[AUDIO_BLOCK];
  testing::internal::CaptureStdout();
  for (int report = 0; report < 3; ++report) {
    if (report == 1) audio_io_note_xrun();
    p.pump.frame.report_time = 0.0;  // the next block writes the statistics line
    audio_pump_run(&p.pump, l, r, AUDIO_BLOCK);
  }
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("jack-xruns"), out.rfind("jack-xruns")) << out;
  EXPECT_NE(out.find("audio-fps: 172.27, cpu-load: 0.0"), std::string::npos) << out;
  EXPECT_NE(out.find("jack-xruns: " + std::to_string(audio_io_xrun_count()) + "\n"), std::string::npos) << out;
}
