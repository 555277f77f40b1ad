// The WAV file device, the frame contract it applies, the commands, the output order and the audio line.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "library/arch/posix/time.hpp"
#include "library/config.hpp"
#include "library/devices/audio-portaudio.hpp"
#include "tests/audio/audio_helpers.hpp"

namespace {

// A callback script: data frames whose samples encode (call, index); none frames before `data_from` and
// from `none_from` on; a frame left open at call `open_at`. Calls are counted from 1.
struct script {
  int data_from = 1, none_from = 1 << 30, open_at = -1;
  int calls = 0;
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
  for (int i = 0; i < AUDIO_BLOCK; ++i) right[i] = -(left[i] = sample_at(call, i));
  if (call != s->open_at) audio_frame_commit(frame);
}

// Makes the layer, points its file device at `path` and runs `fn` through it.
void render(const std::string& path, audio_callback fn, void* user, const char* sample_type = nullptr) {
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
  EXPECT_EQ(audio_device_attach(file, fn, user), 1);
  EXPECT_EQ(audio_io_commit(io, file), 1);
  audio_io_finish(&io);
  EXPECT_EQ(io, nullptr);
}

}  // namespace

// Each run: where the script ends, what the file must hold, and every block's samples in order (none
// frames before the first data are silence; 16 bits keep a sample to within one step).
TEST(FileDevice, RunsWriteExactlyTheirBlocksInOrder) {
  struct {
    const char* name;
    int data_from, none_from, open_at;
    const char* sample_type;
    int subtype, calls, frames;
  } runs[] = {
      {"ended on the 5th call", 1, 5, -1, "float", SF_FORMAT_FLOAT, 5, 1024},
      {"ended on the 9th call: one batch", 1, 9, -1, nullptr, SF_FORMAT_PCM_16, 9, 2048},
      {"12 batches and 3 blocks", 1, 100, -1, "float", SF_FORMAT_FLOAT, 100, 99 * 256},
      {"three none frames first", 4, 6, -1, "float", SF_FORMAT_FLOAT, 6, 5 * 256},
      {"frame left open", 1, 1 << 30, 3, "float", SF_FORMAT_FLOAT, 3, 512},
      {"Float", 1, 3, -1, "Float", SF_FORMAT_PCM_16, 3, 512},
      {"empty type", 1, 3, -1, "", SF_FORMAT_PCM_16, 3, 512},
      {"float and a space", 1, 3, -1, "float ", SF_FORMAT_PCM_16, 3, 512},
      {"pcm", 1, 3, -1, "pcm", SF_FORMAT_PCM_16, 3, 512},
  };
  for (const auto& r : runs) {
    SCOPED_TRACE(r.name);
    std::string path = temp_path("run.wav");
    script s;
    s.data_from = r.data_from;
    s.none_from = r.none_from;
    s.open_at = r.open_at;
    ::testing::internal::CaptureStdout();
    render(path, scripted, &s, r.sample_type);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("defined frame without corresponding commit!\n") != std::string::npos, r.open_at > 0);
    EXPECT_EQ(s.calls, r.calls);
    wav w = read_wav(path);
    EXPECT_EQ(w.info.format, SF_FORMAT_WAV | r.subtype);
    EXPECT_EQ(w.info.channels, 2);
    EXPECT_EQ(w.info.samplerate, 44100);
    ASSERT_EQ(w.info.frames, r.frames);
    const double step = r.subtype == SF_FORMAT_FLOAT ? 0.0 : 1.0 / 32768.0;
    for (int call = 1; call <= r.frames / 256; ++call) {
      for (int i = 0; i < AUDIO_BLOCK; i += 51) {
        float want = call < r.data_from ? 0.0f : sample_at(call, i);
        size_t at = size_t((call - 1) * AUDIO_BLOCK + i);
        ASSERT_NEAR(w.left[at], want, step) << call << " " << i;
        ASSERT_NEAR(w.right[at], -want, step) << call << " " << i;
      }
    }
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
  render(path, overdriven, &calls);
  wav w = read_wav(path);
  ASSERT_EQ(w.info.frames, 512);
  for (size_t i = 0; i < w.left.size(); ++i) {
    ASSERT_LT(w.left[i], -0.999f) << i;
    ASSERT_GT(w.right[i], 0.999f) << i;
  }
  std::remove(path.c_str());
}

TEST(FileDevice, FrameTimeCountsFinishedCallsAndAnUnwritablePathStillRuns) {
  script s;
  s.none_from = 4;
  render("/dev/null", scripted, &s);
  ASSERT_EQ(s.in_ms.size(), 4u);
  EXPECT_EQ(s.in_ms[0], 0.0);
  EXPECT_EQ(s.in_ms[1], 5.804988662131519);
  EXPECT_EQ(s.in_ms[3], 3 * 5.804988662131519);
  script discarded;
  discarded.none_from = 12;
  render("/nonexistent-kv-dir/out.wav", scripted, &discarded);
  EXPECT_EQ(discarded.calls, 12);
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
  std::free(const_cast<char*>(file.file_name));
}

TEST(AudioIo, OutputOrderPutsTheDefaultFirstAndSkipsMonoOutputs) {
  int32_t order[16];
  const int32_t stereo[4] = {2, 2, 2, 2};
  ASSERT_EQ(audio_output_order(4, 2, stereo, order, 14), 4);
  EXPECT_EQ(std::vector<int32_t>(order, order + 4), (std::vector<int32_t>{2, 1, 0, 3}));  // 0 takes 2's place
  const int32_t mixed[4] = {0, 1, 8, 2};  // an input-only and a mono device
  ASSERT_EQ(audio_output_order(4, -1, mixed, order, 14), 2);
  EXPECT_EQ(std::vector<int32_t>(order, order + 2), (std::vector<int32_t>{2, 3}));
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
