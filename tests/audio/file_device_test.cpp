// The WAV file device, the frame contract it applies, the commands, the output order and the audio line.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "library/arch/posix/time.hpp"
#include "library/config.hpp"
#include "library/devices/audio-portaudio.hpp"

namespace {

// A callback script: data frames whose samples encode (call, index); none frames from `none_from` on
// (and before `data_from`); a frame left open at call `open_at`. Calls are counted from 1.
struct script {
  int calls = 0;
  int data_from = 1;
  int none_from = 1 << 30;
  int open_at = -1;
  std::vector<double> in_ms;
};

float sample_at(int call, int i) { return float((call % 64) * 256 + i) / 32768.0f; }

void scripted(void* user, audio_frame* frame) {
  auto* s = static_cast<script*>(user);
  int call = ++s->calls;
  s->in_ms.push_back(audio_frame_in_ms(frame));
  if (call < s->data_from || call >= s->none_from) return audio_frame_commit_none(frame);
  float *left, *right;
  audio_frame_define_stereo(frame, &left, &right);
  for (int i = 0; i < AUDIO_BLOCK; ++i) {
    left[i] = sample_at(call, i);
    right[i] = -sample_at(call, i);
  }
  if (call != s->open_at) audio_frame_commit(frame);
}

struct wav {
  SF_INFO info{};
  std::vector<float> samples;  // interleaved
};

wav read_wav(const std::string& path) {
  wav w;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
  if (!f) return w;
  w.samples.resize(size_t(w.info.frames) * size_t(w.info.channels));
  sf_readf_float(f, w.samples.data(), w.info.frames);
  sf_close(f);
  return w;
}

std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "kv-audio-" + std::to_string(getpid()) + "-" + name;
}

// Makes the layer, points its file device at `path` and runs `s` through it.
void render(const std::string& path, script* s, const char* sample_type = nullptr) {
  setenv("JACK_NO_START_SERVER", "1", 1);
  audio_io* io = nullptr;
  ASSERT_EQ(audio_io_make(&io), 1);
  audio_device** list = nullptr;
  ASSERT_EQ(audio_io_define(io, &list), 1);
  audio_device* file = list[0];
  ASSERT_EQ(file->kind, AUDIO_DEVICE_FILE);
  EXPECT_FALSE(audio_device_is_realtime(file));
  EXPECT_EQ(audio_device_command(file, "set-file", path.c_str()), 1);
  if (sample_type) {
    EXPECT_EQ(audio_device_command(file, "set-sample-type", sample_type), 1);
  }
  EXPECT_EQ(audio_device_attach(file, scripted, s), 1);
  EXPECT_EQ(audio_io_commit(io, file), 1);
  audio_io_finish(&io);
  EXPECT_EQ(io, nullptr);
}

std::string slurp(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace

TEST(FileDevice, RunEndedOnTheFifthCallWritesFourBlocksWithTheirSamples) {
  std::string path = temp_path("five.wav");
  script s;
  s.none_from = 5;
  render(path, &s, "float");
  EXPECT_EQ(s.calls, 5);
  wav w = read_wav(path);
  ASSERT_EQ(w.info.frames, 1024);
  EXPECT_EQ(w.info.channels, 2);
  EXPECT_EQ(w.info.samplerate, 44100);
  for (int call = 1; call <= 4; ++call) {
    for (int i = 0; i < AUDIO_BLOCK; i += 51) {
      size_t at = size_t((call - 1) * AUDIO_BLOCK + i) * 2;
      EXPECT_EQ(w.samples[at], sample_at(call, i));
      EXPECT_EQ(w.samples[at + 1], -sample_at(call, i));
    }
  }
  std::remove(path.c_str());
}

TEST(FileDevice, RunEndedOnTheNinthCallWritesOneBatchOnly) {
  std::string path = temp_path("nine.wav");
  script s;
  s.none_from = 9;
  render(path, &s);
  EXPECT_EQ(s.calls, 9);
  EXPECT_EQ(read_wav(path).info.frames, 2048);
  std::remove(path.c_str());
}

TEST(FileDevice, LongRunKeepsEveryBlockInOrder) {
  std::string path = temp_path("long.wav");
  script s;
  s.none_from = 100;  // 99 blocks: 12 full batches and a partial one of 3
  render(path, &s, "float");
  wav w = read_wav(path);
  ASSERT_EQ(w.info.frames, 99 * 256);
  for (int call = 1; call <= 99; ++call) {
    EXPECT_EQ(w.samples[size_t((call - 1) * AUDIO_BLOCK + 7) * 2], sample_at(call, 7)) << call;
  }
  std::remove(path.c_str());
}

TEST(FileDevice, SampleTypeFloatOnlyForTheExactWord) {
  struct {
    const char* argument;
    int subtype;
  } cases[] = {{nullptr, SF_FORMAT_PCM_16}, {"float", SF_FORMAT_FLOAT}, {"Float", SF_FORMAT_PCM_16},
               {"", SF_FORMAT_PCM_16}, {"float ", SF_FORMAT_PCM_16}, {"pcm", SF_FORMAT_PCM_16}};
  for (auto& c : cases) {
    std::string path = temp_path("type.wav");
    script s;
    s.none_from = 3;
    render(path, &s, c.argument);
    wav w = read_wav(path);
    EXPECT_EQ(w.info.format, SF_FORMAT_WAV | c.subtype) << (c.argument ? c.argument : "(unset)");
    ASSERT_EQ(w.info.frames, 512);
    // 16 bits keep the samples to within one step.
    EXPECT_NEAR(w.samples[2 * 300], sample_at(2, 300 - 256), 1.0 / 32768.0);
    std::remove(path.c_str());
  }
}

void overdriven(void* user, audio_frame* frame) {
  if ((*static_cast<int*>(user))++ == 2) return audio_frame_commit_none(frame);
  float *left, *right;
  audio_frame_define_stereo(frame, &left, &right);
  for (int i = 0; i < AUDIO_BLOCK; ++i) left[i] = -(right[i] = 1.0f + float(i) / 64.0f);
  audio_frame_commit(frame);
}

TEST(FileDevice, SixteenBitSamplesBeyondFullScaleClipInsteadOfWrapping) {
  std::string path = temp_path("loud.wav");
  int calls = 0;
  audio_io* io = nullptr;
  ASSERT_EQ(audio_io_make(&io), 1);
  audio_device** list = nullptr;
  audio_io_define(io, &list);
  audio_device_command(list[0], "set-file", path.c_str());
  audio_device_attach(list[0], overdriven, &calls);
  audio_io_commit(io, list[0]);
  audio_io_finish(&io);
  wav w = read_wav(path);
  ASSERT_EQ(w.info.frames, 512);
  for (size_t i = 0; i < w.samples.size(); i += 2) {
    ASSERT_LT(w.samples[i], -0.999f) << i;
    ASSERT_GT(w.samples[i + 1], 0.999f) << i;
  }
  std::remove(path.c_str());
}

TEST(FileDevice, NoneFramesBeforeTheFirstDataAreSilenceAndDoNotEndTheRun) {
  std::string path = temp_path("lead.wav");
  script s;
  s.data_from = 4;  // three none frames, then data
  s.none_from = 6;
  render(path, &s, "float");
  EXPECT_EQ(s.calls, 6);
  wav w = read_wav(path);
  ASSERT_EQ(w.info.frames, 5 * 256);
  for (int i = 0; i < 3 * 256 * 2; ++i) ASSERT_EQ(w.samples[size_t(i)], 0.0f) << i;
  EXPECT_EQ(w.samples[size_t(3 * 256 + 9) * 2], sample_at(4, 9));
  std::remove(path.c_str());
}

TEST(FileDevice, FrameLeftOpenIsReportedAndEndsTheRun) {
  std::string path = temp_path("open.wav");
  script s;
  s.open_at = 3;
  ::testing::internal::CaptureStdout();
  render(path, &s, "float");
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("defined frame without corresponding commit!\n"), std::string::npos);
  EXPECT_EQ(s.calls, 3);
  EXPECT_EQ(read_wav(path).info.frames, 512);
  std::remove(path.c_str());
}

TEST(FileDevice, FrameTimeCountsFinishedCalls) {
  script s;
  s.none_from = 4;
  render("/dev/null", &s);
  ASSERT_EQ(s.in_ms.size(), 4u);
  EXPECT_EQ(s.in_ms[0], 0.0);
  EXPECT_EQ(s.in_ms[1], 5.804988662131519);
  EXPECT_EQ(s.in_ms[3], 3 * 5.804988662131519);
}

TEST(FileDevice, UnwritablePathStillRunsAndDiscards) {
  script s;
  s.none_from = 12;
  render("/nonexistent-kv-dir/out.wav", &s);
  EXPECT_EQ(s.calls, 12);
}

TEST(AudioIo, CommitWithoutDeviceOrCallbackStartsNothing) {
  setenv("JACK_NO_START_SERVER", "1", 1);
  audio_io* io = nullptr;
  ASSERT_EQ(audio_io_make(&io), 1);
  EXPECT_EQ(audio_io_commit(io, nullptr), 0);
  audio_io_finish(&io);
  EXPECT_EQ(io, nullptr);

  std::string path = temp_path("nocallback.wav");
  ASSERT_EQ(audio_io_make(&io), 1);
  audio_device** list = nullptr;
  audio_io_define(io, &list);
  audio_device_command(list[0], "set-file", path.c_str());
  EXPECT_EQ(audio_io_commit(io, list[0]), 0);
  audio_io_finish(&io);
  EXPECT_NE(access(path.c_str(), F_OK), 0);  // nothing was created

  audio_file_device stranger{};
  ASSERT_EQ(audio_io_make(&io), 1);
  EXPECT_EQ(audio_io_commit(io, &stranger.head), 0);  // not one of this layer's devices
  audio_io_finish(&io);
  audio_io_finish(&io);  // a finished handle is null: nothing happens
}

TEST(AudioIo, CommandsOnlyReachTheFileDevice) {
  audio_portaudio_device output{};
  output.head.kind = AUDIO_DEVICE_PORTAUDIO;
  EXPECT_TRUE(audio_device_is_realtime(&output.head));
  EXPECT_EQ(audio_device_command(&output.head, "set-file", "/tmp/x.wav"), 0);
  EXPECT_EQ(audio_device_command(&output.head, "set-sample-type", "float"), 0);

  audio_file_device file{};
  file.head.kind = AUDIO_DEVICE_FILE;
  file.file_name = "/dev/null";
  EXPECT_EQ(audio_device_command(&file.head, "set-volume", "1"), 0);
  EXPECT_EQ(audio_device_command(&file.head, nullptr, "x"), 0);
  EXPECT_EQ(audio_device_command(&file.head, "set-file", nullptr), 0);
  EXPECT_STREQ(file.file_name, "/dev/null");
  EXPECT_EQ(audio_device_command(&file.head, "set-file", "/tmp/a.wav"), 1);
  EXPECT_EQ(audio_device_command(&file.head, "set-file", "/tmp/b.wav"), 1);  // the first copy is freed
  EXPECT_STREQ(file.file_name, "/tmp/b.wav");
  EXPECT_EQ(file.name_owned, 1);
  std::free(const_cast<char*>(file.file_name));
}

TEST(AudioIo, OutputOrderPutsTheDefaultFirstAndSkipsMonoOutputs) {
  int32_t order[16];
  const int32_t stereo[4] = {2, 2, 2, 2};
  ASSERT_EQ(audio_output_order(4, 2, stereo, order, 14), 4);
  EXPECT_EQ(order[0], 2);
  EXPECT_EQ(order[1], 1);
  EXPECT_EQ(order[2], 0);  // device 0 takes the default's place
  EXPECT_EQ(order[3], 3);

  const int32_t mixed[4] = {0, 1, 8, 2};  // an input-only and a mono device
  ASSERT_EQ(audio_output_order(4, -1, mixed, order, 14), 2);
  EXPECT_EQ(order[0], 2);
  EXPECT_EQ(order[1], 3);
  ASSERT_EQ(audio_output_order(4, 7, mixed, order, 14), 2);  // a default past the end is ignored
  EXPECT_EQ(order[0], 2);

  std::vector<int32_t> many(20, 2);
  ASSERT_EQ(audio_output_order(20, 19, many.data(), order, 14), 14);
  EXPECT_EQ(order[0], 19);
  EXPECT_EQ(order[13], 13);
}

TEST(AudioFrame, MonoCopiesLeftAndStatisticsReportOncePastASecond) {
  std::string log = temp_path("perf.log");
  perf_logfile(log.c_str());
  audio_frame f;
  ASSERT_EQ(audio_frame_make(&f), 1);
  float* mono;
  audio_frame_define_mono(&f, &mono);
  for (int i = 0; i < AUDIO_BLOCK; ++i) mono[i] = float(i);
  audio_frame_commit(&f);
  EXPECT_EQ(f.right[200], 200.0f);
  EXPECT_EQ(f.none, 0);
  EXPECT_EQ(slurp(log), "");  // made just now: no report yet

  f.report_time = get_milliseconds() - 1001.0;
  f.busy_sum = 0.0;
  f.report_count = 0;
  f.define_time = 0.0;
  float *l, *r;
  audio_frame_define_stereo(&f, &l, &r);
  f.define_time -= 2.9024943;  // half a block of work
  audio_frame_commit(&f);
  EXPECT_EQ(slurp(log).rfind("audio-fps: 172.27, cpu-load: 0.5", 0), 0u) << slurp(log);
  EXPECT_EQ(f.report_count, 0);
  audio_frame_delete(&f);
  perf_logfile(nullptr);
}
