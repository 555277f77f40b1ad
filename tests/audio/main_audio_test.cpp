// The instrument's audio start-up: the device lines, the first real-time output playing the callback
// (the instrument's own audiofn, heard by a JACK client), and the silent path without any output.
#include <gtest/gtest.h>

#include <cstdlib>

#include "apps/kelvarin/main_audio.hpp"
#include "tests/audio/audio_helpers.hpp"
#include "tests/support/servers.hpp"

namespace {

struct counter {
  int64_t calls = 0;
};

// 50 silent blocks, then the none frame that ends the stream.
void count_blocks(void* user, audio_frame* frame) {
  if (static_cast<counter*>(user)->calls++ >= 50) return audio_frame_commit_none(frame);
  float *l, *r;
  audio_frame_define_stereo(frame, &l, &r);
  for (int i = 0; i < AUDIO_BLOCK; ++i) l[i] = r[i] = 0.0f;
  audio_frame_commit(frame);
}

std::string probe() { return binary_dir() + "/bin/main_audio_probe"; }

}  // namespace

TEST(MainAudio, NumbersEveryDeviceTriedAndAttachesTheFirstRealtimeOne) {
  jack_server server("main-audio-lines");
  ASSERT_TRUE(server.ready());
  setenv("JACK_NO_START_SERVER", "1", 1);
  counter first, second;
  ::testing::internal::CaptureStdout();
  audio_io* io = kelvarin_audio_open(count_blocks, &first);
  kelvarin_audio_finish(&io);
  EXPECT_EQ(io, nullptr);
  io = kelvarin_audio_open(count_blocks, &second);
  kelvarin_audio_finish(&io);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("device 0\ndevice 1\n", 0), 0u) << out;
  EXPECT_NE(out.find("device 2\ndevice 3\n"), std::string::npos) << out;  // the number runs on
  EXPECT_EQ(out.find("Could not find adequate device."), std::string::npos);
  EXPECT_EQ(first.calls, 51);  // 50 blocks and the none frame that ended the stream
  EXPECT_EQ(second.calls, 51);
}

TEST(MainAudio, InstrumentCallbackIsHeardThroughJackAfterItsSilentStart) {
  jack_server server("main-audio-play");
  ASSERT_TRUE(server.ready());
  child_process instrument({probe(), "7"}, server.env());
  ASSERT_TRUE(instrument.wait_for_output("audio start returned", 10)) << instrument.output();
  std::vector<std::string> ports = stream_ports(server);
  ASSERT_EQ(ports.size(), 2u);
  std::string path = temp_path("main.wav");
  child_process recorder({"jack_rec", "-f", path, "-d", "5", "-b", "32", ports[0], ports[1]}, server.env());
  EXPECT_EQ(recorder.wait_exit(20), 0) << recorder.output();
  EXPECT_EQ(instrument.wait_exit(10), 0);
  std::string out = instrument.output();
  EXPECT_NE(out.find("device 0\ndevice 1\naudio start returned\n"), std::string::npos) << out;
  EXPECT_GE(count_of(out, "audio-fps: 172.27, cpu-load: 0.0"), 4u) << out;
  EXPECT_LE(count_of(out, "audio-fps: 172.27, cpu-load: 0.0"), 8u) << out;

  wav w = read_wav(path);
  std::remove(path.c_str());
  ASSERT_GE(w.left.size(), size_t(4 * 44100));
  // The recording starts within the stream's first 3000 ms, which are silent.
  for (size_t i = 0; i < 22050; ++i) ASSERT_EQ(w.left[i], 0.0f) << i;
  size_t tail = w.left.size() - 44100;
  EXPECT_NEAR(amplitude_at(w.left, tail, 440.0), std::sqrt(0.5), 0.02);  // centred: -3 dB each side
  EXPECT_NEAR(amplitude_at(w.right, tail, 440.0), std::sqrt(0.5), 0.02);
  EXPECT_LT(amplitude_at(w.left, tail, 452.0), 0.01);
}

TEST(MainAudio, WithoutAnyOutputItSaysSoAndGoesOn) {
  std::string absent = "kv-absent-" + std::to_string(getpid());
  child_process instrument({probe(), "0.2"}, {"JACK_DEFAULT_SERVER=" + absent, "JACK_NO_START_SERVER=1"});
  EXPECT_EQ(instrument.wait_exit(20), 0);
  std::string out = instrument.output();
  EXPECT_NE(out.find("device 0\nCould not find adequate device.\naudio start returned\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("device 1"), std::string::npos);
}
