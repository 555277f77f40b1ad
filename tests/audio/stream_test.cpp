// The real-time output against a JACK dummy server: listing, 256-frame blocks, the statistics line, what a
// real JACK client records from the stream, and the end of the stream.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "library/devices/audio-portaudio.hpp"
#include "tests/audio/audio_helpers.hpp"
#include "tests/support/servers.hpp"

namespace {

// Left: 441 Hz at amplitude 0.5; right: 882 Hz at 0.25 (whole cycles in a second). Data from block
// `data_from` until `blocks`, then a none frame; the frame at `open_at` is left open.
struct tones {
  int64_t blocks = 0, open_at = -1, data_from = 0;
  int64_t calls = 0;  // written on the audio thread, read after the stream ended
  int32_t bad_times = 0;
};

void play_tones(void* user, audio_frame* frame) {
  auto* t = static_cast<tones*>(user);
  int64_t call = t->calls++;
  if (audio_frame_in_ms(frame) != double(call) * AUDIO_BLOCK_MS) t->bad_times++;
  if (call < t->data_from || call >= t->blocks) return audio_frame_commit_none(frame);
  float *left, *right;
  audio_frame_define_stereo(frame, &left, &right);
  for (int i = 0; i < AUDIO_BLOCK; ++i) {
    double n = double(call * AUDIO_BLOCK + i);
    left[i] = float(0.5 * std::sin(2.0 * M_PI * 441.0 * n / 44100.0));
    right[i] = float(0.25 * std::sin(2.0 * M_PI * 882.0 * n / 44100.0));
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
    for (audio_device** d = list; d && *d; ++d)
      if (audio_device_is_realtime(*d)) return *d;
    return nullptr;
  }
  // Starts `t` on the first real-time output.
  bool start(tones* t) {
    audio_device* output = first_realtime();
    if (!output) return false;
    audio_device_attach(output, play_tones, t);
    return audio_io_commit(io, output) == 1;
  }
};

}  // namespace

TEST(RealtimeOutput, JackOutputIsListedAfterTheFileDeviceAndTakesNoCommands) {
  jack_server server("audio-list");
  ASSERT_TRUE(server.ready());
  layer l;
  ASSERT_NE(l.list, nullptr);
  EXPECT_EQ(l.list[0]->kind, AUDIO_DEVICE_FILE);
  ASSERT_NE(l.list[1], nullptr);
  EXPECT_TRUE(audio_device_is_realtime(l.list[1]));
  EXPECT_EQ(l.list[1]->kind, AUDIO_DEVICE_JACK);  // PortAudio's own JACK outputs are not listed
  EXPECT_EQ(audio_device_command(l.list[1], "set-file", "/tmp/never.wav"), 0);
  EXPECT_EQ(l.list[2], nullptr);
}

TEST(RealtimeOutput, StreamPlaysTheCallbackIntoAJackClientAndEndsOnANoneFrame) {
  jack_server server("audio-stream");
  ASSERT_TRUE(server.ready());
  std::string path = temp_path("jackrec.wav");
  tones t;
  t.blocks = 172 * 5;  // five seconds, then a none frame ends the stream
  ::testing::internal::CaptureStdout();
  auto start = std::chrono::steady_clock::now();
  {
    layer l;
    ASSERT_TRUE(l.start(&t));
    std::vector<std::string> ports = stream_ports(server);
    ASSERT_EQ(ports.size(), 2u);
    child_process recorder({"jack_rec", "-f", path, "-d", "2", "-b", "32", ports[0], ports[1]}, server.env());
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
  EXPECT_GE(count_of(out, "audio-fps: 172.27, cpu-load: 0.0"), 3u) << out;  // once a second for five
  EXPECT_LE(count_of(out, "audio-fps: 172.27, cpu-load: 0.0"), 6u) << out;

  wav w = read_wav(path);
  std::remove(path.c_str());
  ASSERT_EQ(w.info.channels, 2);
  ASSERT_GT(w.info.frames, 44100);
  size_t tail = w.left.size() - 44100;  // the recording ends while the tones still play
  EXPECT_NEAR(amplitude_at(w.left, tail, 441.0), 0.5, 0.01);
  EXPECT_NEAR(amplitude_at(w.right, tail, 882.0), 0.25, 0.01);
  EXPECT_LT(amplitude_at(w.left, tail, 882.0), 0.01);  // channels not swapped or mixed
  EXPECT_LT(amplitude_at(w.right, tail, 441.0), 0.01);
  EXPECT_LT(amplitude_at(w.left, tail, 452.0), 0.01);  // nor played at another rate
}

// A frame left open is reported and ends the stream; none frames before the first data do not.
TEST(RealtimeOutput, FrameLeftOpenEndsTheStreamLeadingNoneFramesDoNot) {
  jack_server server("audio-open");
  ASSERT_TRUE(server.ready());
  tones open, lead;
  open.blocks = 1000;
  open.open_at = 40;
  lead.data_from = 100;
  lead.blocks = 101;
  ::testing::internal::CaptureStdout();
  for (tones* t : {&open, &lead}) {
    layer l;
    ASSERT_TRUE(l.start(t));
    audio_io_finish(&l.io);
  }
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(count_of(out, "defined frame without corresponding commit!\n"), 1u);
  EXPECT_EQ(open.calls, 41);
  EXPECT_EQ(lead.calls, 102);
}

TEST(RealtimeOutput, WithoutAServerOnlyTheFileDeviceIsListed) {
  setenv("JACK_DEFAULT_SERVER", ("kv-absent-" + std::to_string(getpid())).c_str(), 1);
  layer l;
  ASSERT_NE(l.list, nullptr);
  EXPECT_EQ(l.list[0]->kind, AUDIO_DEVICE_FILE);
  EXPECT_EQ(l.list[1], nullptr);
  unsetenv("JACK_DEFAULT_SERVER");
}
