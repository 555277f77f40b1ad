// Audio on one JACK dummy server: the device list, the stream's blocks and its end, and the instrument's
// start-up as a separate process, heard through jack_rec; then the silent path without any output.
#include <gtest/gtest.h>

#include <cstdlib>

#include "apps/kelvarin/main_audio.hpp"
#include "tests/audio/audio_helpers.hpp"
#include "tests/support/servers.hpp"

namespace {

// Data blocks until `ends`, then the none frame that ends the stream; the frame at `open_at` is left open.
struct script {
  int64_t calls = 0, ends = 50, open_at = -1;
};

void scripted(void* user, audio_frame* frame) {
  auto* s = static_cast<script*>(user);
  if (s->calls++ >= s->ends) return audio_frame_commit_none(frame);
  float *l, *r;
  audio_frame_define_stereo(frame, &l, &r);
  if (s->calls - 1 != s->open_at) audio_frame_commit(frame);
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

}  // namespace

TEST(JackAudio, DevicesBlocksStartUpOrderAndTheInstrumentHeard) {
  jack_server server("audio");
  ASSERT_TRUE(server.ready());
  setenv("JACK_NO_START_SERVER", "1", 1);
  audio_io* io = nullptr;
  audio_device** list = nullptr;
  ASSERT_EQ(audio_io_make(&io), 1);
  ASSERT_EQ(audio_io_define(io, &list), 1);
  EXPECT_EQ(list[0]->kind, AUDIO_DEVICE_FILE);
  ASSERT_TRUE(list[1] && audio_device_is_realtime(list[1]) && !list[2]);
  const PaDeviceInfo* info = Pa_GetDeviceInfo(reinterpret_cast<audio_portaudio_device*>(list[1])->parameters.device);
  EXPECT_STREQ(Pa_GetHostApiInfo(info->hostApi)->name, "JACK Audio Connection Kit");
  EXPECT_EQ(audio_device_command(list[1], "set-file", "/tmp/never.wav"), 0);
  audio_io_finish(&io);

  script first, second, open;
  open.ends = 1000, open.open_at = 40;
  ::testing::internal::CaptureStdout();
  for (script* s : {&first, &second, &open}) {
    io = kelvarin_audio_open(scripted, s);
    kelvarin_audio_finish(&io);  // returns once the callback's none frame ended the stream
  }
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("device 0\ndevice 1\ndevice 2\ndevice 3\n", 0), 0u) << out;  // the number runs on
  EXPECT_EQ(count_of(out, "defined frame without corresponding commit!\n"), 1u);
  EXPECT_EQ(std::tuple(first.calls, second.calls, open.calls), std::tuple(51, 51, 41));  // nothing called after the end

  std::string path = ::testing::TempDir() + "kv-instrument.wav";
  child_process instrument({binary_dir() + "/bin/main_audio_probe", "7"}, server.env());
  ASSERT_TRUE(instrument.wait_for_output("vorn:kelvarin", 10)) << instrument.output();
  out = instrument.output();
  size_t stream_port = out.find("\n", out.find("system:playback_2")) + 1, midi_port = out.find("vorn:kelvarin");
  EXPECT_LT(stream_port, midi_port) << "the audio stream runs before the MIDI port exists:\n" << out;
  std::string left = out.substr(stream_port, out.find('\n', stream_port) - stream_port);
  std::string right = out.substr(stream_port + left.size() + 1, out.find('\n', stream_port + left.size() + 1) - stream_port - left.size() - 1);
  child_process recorder({"jack_rec", "-f", path, "-d", "5", "-b", "32", left, right}, server.env());
  EXPECT_EQ(recorder.wait_exit(20), 0) << recorder.output();
  EXPECT_EQ(instrument.wait_exit(10), 0);
  out = instrument.output();
  EXPECT_NE(out.find("device 0\ndevice 1\nstarted\n"), std::string::npos) << out;
  EXPECT_GE(count_of(out, "audio-fps: 172.27, cpu-load: 0.0"), 4u) << out;
  wav w = read_wav(path);
  std::remove(path.c_str());
  ASSERT_GE(w.left.size(), size_t(4 * 44100));
  for (size_t i = 0; i < 22050; ++i) ASSERT_EQ(w.left[i], 0.0f) << i;  // within the stream's silent first 3 s
  size_t tail = w.left.size() - 44100;
  EXPECT_NEAR(amplitude_at(w.left, tail, 440.0), 0.71, 0.02);  // volume 0.9 is -3 dB on the fader
  EXPECT_NEAR(amplitude_at(w.right, tail, 880.0), 0.71, 0.02);
  for (auto [side, hz] : {std::pair{&w.left, 880.0}, {&w.right, 440.0}, {&w.left, 452.0}}) EXPECT_LT(amplitude_at(*side, tail, hz), 0.01) << hz;
}

TEST(JackAudio, WithoutAnyOutputTheInstrumentSaysSoAndGoesOn) {
  child_process instrument({binary_dir() + "/bin/main_audio_probe", "0.2"}, {"JACK_DEFAULT_SERVER=kv-absent-" + std::to_string(getpid()), "JACK_NO_START_SERVER=1"});
  EXPECT_EQ(instrument.wait_exit(20), 0);
  EXPECT_NE(instrument.output().find("device 0\nCould not find adequate device.\nstarted\n"), std::string::npos) << instrument.output();
}
