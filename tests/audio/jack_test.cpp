// Audio and MIDI on one JACK dummy server: the stream's blocks and its end, and the instrument's start-up
// as a separate process, played by jack_midiseq and heard through jack_rec; then the path without output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1), ++n) {}
  return n;
}

}  // namespace

// The stream's blocks and its end; then the instrument's start-up as a separate process: its audio stream
// runs before its MIDI port exists, jack_midiseq plays it a note, and jack_rec hears the result.
TEST(Jack, StreamEndsStartUpOrderAndAMidiNoteHeard) {
  jack_server server("audio");
  ASSERT_TRUE(server.ready());
  setenv("JACK_NO_START_SERVER", "1", 1);
  script first, second, open;
  open.ends = 1000, open.open_at = 40;
  ::testing::internal::CaptureStdout();
  for (script* s : {&first, &second, &open}) {
    audio_io* io = kelvarin_audio_open(scripted, s);
    kelvarin_audio_finish(&io);  // returns once the callback's none frame ended the stream
  }
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("device 0\ndevice 1\ndevice 2\ndevice 3\n", 0), 0u) << out;  // the file device, then JACK; the number runs on
  EXPECT_EQ(count_of(out, "defined frame without corresponding commit!\n"), 1u);
  EXPECT_EQ(std::tuple(first.calls, second.calls, open.calls), std::tuple(51, 51, 41));  // nothing called after the end

  std::string path = ::testing::TempDir() + "kv-instrument.wav";
  child_process instrument({binary_dir() + "/bin/main_audio_probe", "12"}, server.env());
  ASSERT_TRUE(instrument.wait_for_output("vorn:kelvarin", 10)) << instrument.output();
  out = instrument.output();
  EXPECT_LT(out.find("vorn:out_2"), out.find("vorn:kelvarin")) << "the audio stream runs before the MIDI port exists:\n" << out;
  child_process seq({"jack_midiseq", "kv-seq", "11025", "0", "62", "2205"}, server.env());  // a 50 ms D every 250 ms
  for (int i = 0; i < 100 && run_command("jack_connect kv-seq:out vorn:kelvarin 2>&1").size(); ++i) usleep(50000);
  child_process recorder({"jack_rec", "-f", path, "-d", "5", "-b", "32", "-B", "1048576", "vorn:out_1", "vorn:out_2"}, server.env());
  EXPECT_EQ(recorder.wait_exit(20), 0) << recorder.output();
  EXPECT_EQ(instrument.wait_exit(15), 0);
  out = instrument.output();
  EXPECT_NE(out.find("device 0\ndevice 1\nstarted\n"), std::string::npos) << out;
  EXPECT_NE(out.find("received note on: 62 64 on channel 0\nreceived note off: 62 on channel 0\n"), std::string::npos) << out;
  EXPECT_GE(count_of(out, "audio-fps: 172.27, cpu-load: 0.0"), 4u) << out;
  wav w(path);
  std::remove(path.c_str());
  ASSERT_GE(w.left.size(), size_t(4 * 44100));
  for (size_t i = 0; i < 22050; ++i) ASSERT_EQ(w.left[i], 0.0f) << i;  // within the stream's silent first 3 s
  const size_t tail = w.left.size() - 44100;  // voice 0 hard left at the note's 587 Hz, voice 1 hard right at 880 Hz
  // The level by the peak (a period the busy machine's server dropped only shortens the tone), the pitch
  // and the pan by the spectrum.
  for (auto side : {&w.left, &w.right}) {
    float peak = 0.0f;
    for (size_t i = tail; i < side->size(); ++i) peak = std::max(peak, std::fabs((*side)[i]));
    EXPECT_NEAR(peak, 0.71, 0.02);  // volume 0.9 is -3 dB on the fader
  }
  for (auto [side, hz, present] : {std::tuple{&w.left, 587.33, true}, {&w.right, 880.0, true}, {&w.left, 440.0, false}, {&w.left, 880.0, false}, {&w.right, 587.33, false}})
    EXPECT_TRUE(present ? amplitude_at(*side, tail, hz) > 0.3 : amplitude_at(*side, tail, hz) < 0.02) << hz;
}

TEST(Jack, WithoutAnyOutputTheInstrumentSaysSoAndGoesOn) {
  child_process instrument({binary_dir() + "/bin/main_audio_probe", "0.2"}, {"JACK_DEFAULT_SERVER=kv-absent-" + std::to_string(getpid()), "JACK_NO_START_SERVER=1"});
  EXPECT_EQ(instrument.wait_exit(20), 0);
  EXPECT_NE(instrument.output().find("device 0\nCould not find adequate device.\nstarted\n"), std::string::npos) << instrument.output();
}
