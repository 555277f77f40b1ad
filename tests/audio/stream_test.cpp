// The real-time output against a JACK dummy server: listing, 256-frame blocks, the statistics line, what a
// real JACK client records from the stream, and the end of the stream.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "library/devices/audio-portaudio.hpp"
#include "tests/support/servers.hpp"

namespace {

constexpr double PI = 3.14159265358979323846;

// Left: 441 Hz at amplitude 0.5; right: 1102.5 Hz at 0.25. Ends the stream after `blocks` blocks; leaves
// the frame open at block `open_at` instead.
struct tones {
  int64_t blocks = 0;
  int64_t open_at = -1;
  int64_t calls = 0;  // written on the audio thread, read after the stream ended
  int32_t bad_times = 0;
};

void play_tones(void* user, audio_frame* frame) {
  auto* t = static_cast<tones*>(user);
  int64_t call = t->calls++;
  if (audio_frame_in_ms(frame) != double(call) * AUDIO_BLOCK_MS) t->bad_times++;
  if (call >= t->blocks) return audio_frame_commit_none(frame);
  float *left, *right;
  audio_frame_define_stereo(frame, &left, &right);
  for (int i = 0; i < AUDIO_BLOCK; ++i) {
    double n = double(call * AUDIO_BLOCK + i);
    left[i] = float(0.5 * std::sin(2.0 * PI * 441.0 * n / 44100.0));
    right[i] = float(0.25 * std::sin(2.0 * PI * 1102.5 * n / 44100.0));
  }
  if (call != t->open_at) audio_frame_commit(frame);
}

struct layer {
  audio_io* io = nullptr;
  audio_device** list = nullptr;
  layer() {
    setenv("JACK_NO_START_SERVER", "1", 1);
    audio_io_make(&io);
    audio_io_define(io, &list);
  }
  ~layer() { audio_io_finish(&io); }
  audio_device* first_realtime() const {
    for (audio_device** d = list; d && *d; ++d) {
      if (audio_device_is_realtime(*d)) return *d;
    }
    return nullptr;
  }
};

// Ports of this process's PortAudio client: everything that is not the server's own or jack_rec's.
std::vector<std::string> stream_ports(const jack_server& server) {
  std::vector<std::string> ports;
  for (const std::string& p : server.ports()) {
    if (p.rfind("system:", 0) != 0 && p.find("jackrec") == std::string::npos) ports.push_back(p);
  }
  return ports;
}

// Frequency from upward zero crossings, and root mean square, of one channel of a recording.
struct tone_measure {
  double hz = 0, rms = 0;
};
tone_measure measure(const std::vector<float>& interleaved, int channels, int channel) {
  std::vector<double> x;
  for (size_t i = size_t(channel); i < interleaved.size(); i += size_t(channels)) x.push_back(interleaved[i]);
  size_t begin = 0;
  while (begin < x.size() && std::fabs(x[begin]) < 1e-3) ++begin;  // before the connection took effect
  size_t end = x.size();
  while (end > begin && std::fabs(x[end - 1]) < 1e-3) --end;
  size_t first = 0, last = 0;
  int crossings = 0;
  double sum = 0;
  for (size_t i = begin + 1; i < end; ++i) {
    sum += x[i] * x[i];
    if (x[i - 1] < 0 && x[i] >= 0) {
      if (!crossings) first = i;
      last = i;
      crossings++;
    }
  }
  tone_measure m;
  if (crossings > 1) m.hz = 44100.0 * double(crossings - 1) / double(last - first);
  if (end > begin + 1) m.rms = std::sqrt(sum / double(end - begin - 1));
  return m;
}

}  // namespace

TEST(RealtimeOutput, JackOutputIsListedAfterTheFileDeviceAndTakesNoCommands) {
  jack_server server("audio-list");
  ASSERT_TRUE(server.ready());
  layer l;
  ASSERT_NE(l.list, nullptr);
  EXPECT_EQ(l.list[0]->kind, AUDIO_DEVICE_FILE);
  ASSERT_NE(l.list[1], nullptr);
  EXPECT_TRUE(audio_device_is_realtime(l.list[1]));
  auto* output = reinterpret_cast<audio_portaudio_device*>(l.list[1]);
  const PaDeviceInfo* info = Pa_GetDeviceInfo(output->parameters.device);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->name, "system");
  EXPECT_STREQ(Pa_GetHostApiInfo(info->hostApi)->name, "JACK Audio Connection Kit");
  EXPECT_EQ(output->parameters.channelCount, 2);
  EXPECT_EQ(output->parameters.sampleFormat, paFloat32);
  EXPECT_EQ(audio_device_command(l.list[1], "set-file", "/tmp/never.wav"), 0);
  EXPECT_EQ(l.list[2], nullptr);
}

TEST(RealtimeOutput, StreamPlaysTheCallbackIntoAJackClientAndEndsOnANoneFrame) {
  jack_server server("audio-stream");
  ASSERT_TRUE(server.ready());
  std::string wav = ::testing::TempDir() + "kv-jackrec-" + std::to_string(getpid()) + ".wav";
  tones t;
  t.blocks = 172 * 5;  // five seconds, then a none frame ends the stream
  ::testing::internal::CaptureStdout();
  auto start = std::chrono::steady_clock::now();
  {
    layer l;
    audio_device* output = l.first_realtime();
    ASSERT_NE(output, nullptr);
    audio_device_attach(output, play_tones, &t);
    ASSERT_EQ(audio_io_commit(l.io, output), 1);
    std::vector<std::string> ports;
    for (int i = 0; i < 100 && ports.size() < 2; ++i) {
      ports = stream_ports(server);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(ports.size(), 2u);
    child_process recorder({"jack_rec", "-f", wav, "-d", "2", "-b", "32", ports[0], ports[1]}, server.env());
    EXPECT_EQ(recorder.wait_exit(20), 0) << recorder.output();
    audio_io_finish(&l.io);  // returns once the callback's none frame ended the stream
    EXPECT_EQ(l.io, nullptr);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::string out = ::testing::internal::GetCapturedStdout();

  EXPECT_EQ(t.calls, t.blocks + 1);  // nothing is called after the none frame
  EXPECT_EQ(t.bad_times, 0);
  EXPECT_GT(seconds, 4.5);  // real time: about 172 blocks a second
  EXPECT_LT(seconds, 9.0);
  size_t lines = 0;
  for (size_t at = out.find("audio-fps: 172.27, cpu-load: 0.0"); at != std::string::npos;
       at = out.find("audio-fps: 172.27, cpu-load: 0.0", at + 1)) {
    lines++;
  }
  EXPECT_GE(lines, 3u) << out;  // once a second for five seconds
  EXPECT_LE(lines, 6u) << out;

  SF_INFO info{};
  SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr) << wav;
  std::vector<float> samples(size_t(info.frames) * size_t(info.channels));
  sf_readf_float(f, samples.data(), info.frames);
  sf_close(f);
  std::remove(wav.c_str());
  ASSERT_EQ(info.channels, 2);
  EXPECT_GT(info.frames, 44100);
  tone_measure left = measure(samples, 2, 0), right = measure(samples, 2, 1);
  EXPECT_NEAR(left.hz, 441.0, 1.0);
  EXPECT_NEAR(right.hz, 1102.5, 2.0);
  EXPECT_NEAR(left.rms, 0.5 / std::sqrt(2.0), 0.01);
  EXPECT_NEAR(right.rms, 0.25 / std::sqrt(2.0), 0.01);
}

TEST(RealtimeOutput, FrameLeftOpenIsReportedAndEndsTheStream) {
  jack_server server("audio-open");
  ASSERT_TRUE(server.ready());
  tones t;
  t.blocks = 1000;
  t.open_at = 40;
  ::testing::internal::CaptureStdout();
  {
    layer l;
    audio_device* output = l.first_realtime();
    ASSERT_NE(output, nullptr);
    audio_device_attach(output, play_tones, &t);
    ASSERT_EQ(audio_io_commit(l.io, output), 1);
    audio_io_finish(&l.io);
  }
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("defined frame without corresponding commit!\n"), std::string::npos);
  EXPECT_EQ(t.calls, 41);
}

TEST(RealtimeOutput, NoneFramesBeforeTheFirstDataKeepTheStreamRunning) {
  jack_server server("audio-lead");
  ASSERT_TRUE(server.ready());
  struct lead {
    int64_t calls = 0;
  } s;
  // 100 none frames, one frame with data, then a none frame that ends the stream.
  auto fn = [](void* user, audio_frame* frame) {
    auto* p = static_cast<lead*>(user);
    if (p->calls++ != 100) return audio_frame_commit_none(frame);
    float *l, *r;
    audio_frame_define_stereo(frame, &l, &r);
    for (int i = 0; i < AUDIO_BLOCK; ++i) l[i] = r[i] = 0.0f;
    audio_frame_commit(frame);
  };
  {
    layer l;
    audio_device* output = l.first_realtime();
    ASSERT_NE(output, nullptr);
    audio_device_attach(output, fn, &s);
    ASSERT_EQ(audio_io_commit(l.io, output), 1);
    audio_io_finish(&l.io);
  }
  EXPECT_EQ(s.calls, 102);
}

TEST(RealtimeOutput, WithoutAServerOnlyTheFileDeviceIsListed) {
  setenv("JACK_DEFAULT_SERVER", ("kv-absent-" + std::to_string(getpid())).c_str(), 1);
  layer l;
  ASSERT_NE(l.list, nullptr);
  EXPECT_EQ(l.list[0]->kind, AUDIO_DEVICE_FILE);
  EXPECT_EQ(l.list[1], nullptr);
  EXPECT_EQ(l.first_realtime(), nullptr);
  unsetenv("JACK_DEFAULT_SERVER");
}
