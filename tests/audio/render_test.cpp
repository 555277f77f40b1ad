// kelvarin-render as a performer runs it: presets saved through the slot code, rendered by the program,
// and its WAV output measured (pitch and level by single-bin DFT, pan per channel, the crossfade per block).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "pure/music/amp.hpp"
#include "tests/audio/audio_helpers.hpp"
#include "tests/support/servers.hpp"

namespace {

constexpr int SILENT_BLOCKS = 517;  // the first 3000 ms
constexpr int FADE_END_BLOCK = SILENT_BLOCKS + 43;

struct run_result {
  int status = -1;
  std::string err;
};

// Runs the renderer with standard error captured in a file.
run_result render(const std::string& args) {
  std::string err = temp_path("stderr.txt");
  run_result r;
  run_command(binary_dir() + "/bin/kelvarin-render " + args + " >/dev/null 2>" + err, &r.status);
  r.err = slurp(err);
  std::remove(err.c_str());
  return r;
}

double block_peak(const std::vector<float>& x, int block) {
  double peak = 0;
  for (int i = 0; i < 256; ++i) peak = std::max(peak, std::fabs(double(x[size_t(block * 256 + i)])));
  return peak;
}

// Voice 0: 880 Hz hard left at full volume; voice 1: 1760 Hz hard right at volume 0.5; voice 2: 440 Hz
// centred at full volume. Every other voice stays silent.
std::string save_three_voice_preset() {
  oscs_make();
  synth_state& s = synth();
  const float notes[3] = {69.0f, 81.0f, 57.0f}, volumes[3] = {1.0f, 0.5f, 1.0f}, pans[3] = {-1.0f, 1.0f, 0.0f};
  for (int v = 0; v < 3; ++v) {
    s.oscs[v].note = notes[v];
    s.voices[v].volume = volumes[v];
    s.voices[v].pan = pans[v];
  }
  std::string path = temp_path("preset.dat");
  EXPECT_STREQ(slot_save_to(path.c_str()), PRESET_SAVED);
  return path;
}

}  // namespace

TEST(Render, PresetIsHeardWithItsPitchLevelPanAndCrossfade) {
  std::string preset = save_three_voice_preset(), out = temp_path("three.wav");
  std::string before = slurp(preset);
  struct stat st_before{}, st_after{};
  stat(preset.c_str(), &st_before);
  run_result r = render("--slot " + preset + " --seconds 5 --float " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find('%'), std::string::npos);  // no progress bar when standard error is a file
  wav w = read_wav(out);
  ASSERT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  ASSERT_EQ(w.info.frames, 862 * 256);  // ceil(5 * 44100 / 256) blocks

  for (size_t i = 0; i < size_t(SILENT_BLOCKS) * 256; ++i) {
    ASSERT_EQ(w.left[i], 0.0f) << i;
    ASSERT_EQ(w.right[i], 0.0f) << i;
  }
  // The crossfade from the silent start-up sound rises over 44 blocks and then holds.
  EXPECT_GT(block_peak(w.left, SILENT_BLOCKS), 0.0);
  EXPECT_LT(block_peak(w.left, SILENT_BLOCKS), 0.3);
  double middle = block_peak(w.left, SILENT_BLOCKS + 22), full = block_peak(w.left, 700);
  EXPECT_GT(middle, 0.3 * full);
  EXPECT_LT(middle, 0.97 * full);
  for (int b = SILENT_BLOCKS + 1; b <= FADE_END_BLOCK; ++b) {
    EXPECT_GE(block_peak(w.left, b), block_peak(w.left, b - 1) * 0.97) << b;
  }
  EXPECT_NEAR(block_peak(w.left, FADE_END_BLOCK + 1), full, 0.02 * full);

  size_t steady = 600 * 256;
  const double centre = std::sqrt(0.5), half = volume_to_amp(0.5f);
  EXPECT_NEAR(amplitude_at(w.left, steady, 880.0), 1.0, 0.03);
  EXPECT_LT(amplitude_at(w.right, steady, 880.0), 0.001);
  EXPECT_NEAR(amplitude_at(w.right, steady, 1760.0), half, 0.03 * half);
  EXPECT_LT(amplitude_at(w.left, steady, 1760.0), 0.001);
  EXPECT_NEAR(amplitude_at(w.left, steady, 440.0), centre, 0.03);
  EXPECT_NEAR(amplitude_at(w.right, steady, 440.0), centre, 0.03);
  // A detuned voice would leave its energy off these bins: nothing lies between them.
  EXPECT_LT(amplitude_at(w.left, steady, 873.0), 0.01);
  EXPECT_LT(amplitude_at(w.left, steady, 887.0), 0.01);

  EXPECT_EQ(slurp(preset), before);  // the slot file is only read
  stat(preset.c_str(), &st_after);
  EXPECT_EQ(st_after.st_mtim.tv_sec, st_before.st_mtim.tv_sec);
  EXPECT_EQ(st_after.st_mtim.tv_nsec, st_before.st_mtim.tv_nsec);
  std::remove(out.c_str());
  std::remove(preset.c_str());
}

TEST(Render, WithoutASlotTheStartUpSoundIsSilentSixteenBitPcm) {
  std::string out = temp_path("plain.wav");
  run_result r = render("--seconds 3.2 " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  wav w = read_wav(out);
  EXPECT_EQ(w.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(w.info.samplerate, 44100);
  ASSERT_EQ(w.info.frames, 552 * 256);
  for (size_t i = 0; i < w.left.size(); ++i) ASSERT_EQ(w.left[i], 0.0f) << i;  // every voice at volume 0
  std::remove(out.c_str());
}

// Usage errors exit 2 with the usage text; a missing or damaged preset and an unwritable output exit 1
// with the reason, and no output file is written and no slot file created.
TEST(Render, FailuresExitWithTheirStatusAndReason) {
  std::string out = temp_path("never.wav"), garbage = temp_path("garbage.dat"), missing = temp_path("missing.dat");
  {
    std::ofstream g(garbage, std::ios::binary);
    for (int i = 0; i < 4756; ++i) g.put(char((i * 7919) & 0xff));
  }
  struct {
    std::string args;
    int status;
    std::vector<std::string> said;
  } cases[] = {
      {"", 2, {"usage: kelvarin-render"}},
      {"--seconds 0 x.wav", 2, {"usage: kelvarin-render"}},
      {"--seconds ten x.wav", 2, {"usage: kelvarin-render"}},
      {"--bogus x.wav", 2, {"usage: kelvarin-render"}},
      {"a.wav b.wav", 2, {"usage: kelvarin-render"}},
      {"--slot " + missing + " " + out, 1, {"cannot load from file."}},
      {"--slot " + garbage + " " + out, 1, {"cannot load from file."}},
      {"--seconds 1 /nonexistent-kv-folder/out.wav", 1,
       {"cannot write /nonexistent-kv-folder/out.wav", "No such file or directory"}},
  };
  for (const auto& c : cases) {
    run_result r = render(c.args);
    EXPECT_EQ(r.status, c.status) << c.args;
    for (const std::string& s : c.said) EXPECT_NE(r.err.find(s), std::string::npos) << c.args << ": " << r.err;
  }
  EXPECT_NE(access("x.wav", F_OK), 0);
  EXPECT_NE(access(out.c_str(), F_OK), 0);
  EXPECT_NE(access(missing.c_str(), F_OK), 0);  // read-only: never created
  std::remove(garbage.c_str());
}

TEST(Render, IncompletePresetWarnsAndRendersWhatLoaded) {
  std::string preset = save_three_voice_preset(), out = temp_path("partial.wav");
  {
    // A whole file that holds the record and no visuals: "RIFF" 3632 "KELV" "KVSY" 3620 <record>.
    std::string cut = slurp(preset).substr(0, 12 + 8 + 3620);
    const uint32_t outer = 4 + 8 + 3620;
    for (int i = 0; i < 4; ++i) cut[size_t(4 + i)] = char((outer >> (8 * i)) & 0xff);
    std::ofstream(preset, std::ios::binary | std::ios::trunc).write(cut.data(), std::streamsize(cut.size()));
  }
  run_result r = render("--slot " + preset + " --seconds 5 --float " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("incomplete load."), std::string::npos) << r.err;
  wav w = read_wav(out);
  ASSERT_GT(w.left.size(), size_t(44100 + 600 * 256));
  EXPECT_NEAR(amplitude_at(w.left, 600 * 256, 880.0), 1.0, 0.03);
  std::remove(out.c_str());
  std::remove(preset.c_str());
}

TEST(Render, ProgressBarOnlyOnATerminal) {
  std::string out = temp_path("tty.wav"), log = temp_path("tty.txt");
  // script(1) gives the renderer a terminal; what it shows lands in the log.
  int status = -1;
  run_command("script -qec '" + binary_dir() + "/bin/kelvarin-render --seconds 1 " + out + "' " + log +
                  " >/dev/null 2>&1",
              &status);
  EXPECT_EQ(status, 0);
  std::string shown = slurp(log);
  EXPECT_NE(shown.find("] 100%"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\r["), std::string::npos);
  std::remove(out.c_str());
  std::remove(log.c_str());
}
