// kelvarin-render as a performer runs it, through the WAV file device: a preset saved through the slot code
// and a MIDI file, rendered by the program and measured.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <vector>

#include "apps/kelvarin/presets.hpp"
#include "apps/kelvarin/synth.hpp"
#include "pure/music/amp.hpp"
#include "tests/support/servers.hpp"

namespace {

struct wav {
  SF_INFO info{};
  std::vector<float> left, right;
  explicit wav(const std::string& path) {
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> s(f ? size_t(info.frames) * 2 : 0);
    if (f) sf_readf_float(f, s.data(), info.frames), sf_close(f);
    for (size_t i = 0; i + 1 < s.size(); i += 2) left.push_back(s[i]), right.push_back(s[i + 1]);
  }
};

// Amplitude of the component at `hz` over n samples from `start`: whole cycles, so neighbours vanish.
double amplitude_at(const std::vector<float>& x, size_t start, double hz, size_t n = 44100) {
  double re = 0, im = 0;
  for (size_t k = 0; k < n; ++k) re += x[start + k] * std::cos(2 * M_PI * hz * double(k) / 44100), im -= x[start + k] * std::sin(2 * M_PI * hz * double(k) / 44100);
  return 2.0 * std::hypot(re, im) / double(n);
}

int render(const std::string& args, std::string* err = nullptr) {
  int status = -1;
  run_command(binary_dir() + "/bin/kelvarin-render " + args + " >/dev/null 2>" + ::testing::TempDir() + "kv-err.txt", &status);
  if (err) *err = run_command("cat " + ::testing::TempDir() + "kv-err.txt");
  return status;
}

}  // namespace

TEST(Render, APresetIsHeardWithItsPitchLevelAndPanAfterTheSilentStart) {
  oscs_make();
  const float notes[3] = {69.0f, 81.0f, 57.0f}, volumes[3] = {1.0f, 0.5f, 1.0f}, pans[3] = {-1.0f, 1.0f, 0.0f};
  for (int v = 0; v < 3; ++v) synth().oscs[v].note = notes[v], synth().voices[v].volume = volumes[v], synth().voices[v].pan = pans[v];
  std::string preset = ::testing::TempDir() + "kv-preset.dat", out = ::testing::TempDir() + "kv-three.wav";
  ASSERT_STREQ(slot_save_to(preset.c_str()), PRESET_SAVED);
  ASSERT_EQ(render("--slot " + preset + " --seconds 5 --float " + out), 0);
  wav w(out);
  ASSERT_EQ(w.info.frames, 862 * 256);  // ceil(5 * 44100 / 256) blocks
  for (size_t k = 0; k < 517 * 256; ++k) ASSERT_EQ(std::fabs(w.left[k]) + std::fabs(w.right[k]), 0.0f) << k;  // 3 s
  const size_t steady = 600 * 256;
  const std::tuple<std::vector<float>*, double, double> heard[] = {
      {&w.left, 880.0, 1.0}, {&w.right, 880.0, 0.0}, {&w.right, 1760.0, volume_to_amp(0.5f)}, {&w.left, 1760.0, 0.0},
      {&w.left, 440.0, std::sqrt(0.5)}, {&w.right, 440.0, std::sqrt(0.5)}, {&w.left, 873.0, 0.0}, {&w.left, 887.0, 0.0}};
  for (auto [side, hz, amplitude] : heard) EXPECT_NEAR(amplitude_at(*side, steady, hz), amplitude, 0.03 * std::max(amplitude, 0.3)) << hz;
  std::remove(out.c_str());
  std::remove(preset.c_str());
}

// A MIDI file plays its notes at the right blocks: MIDI time 0 is block 517, the first one rendered, and
// the render lasts two seconds past the last event. A4 sounds, E5 from 0.5 s, A5 from 1.5 s (a note off
// leaves the oscillator sounding).
TEST(Render, AMidiFilePlaysItsNotesAtTheirBlocks) {
  std::string out = ::testing::TempDir() + "kv-midi.wav", midi = source_dir() + "/fuzz/corpus/midi/file/render.mid", said;
  ASSERT_EQ(render("--midi " + midi + " " + out), 0);
  wav w(out);
  ASSERT_EQ(std::pair(w.info.format, int(w.info.frames)), std::pair(SF_FORMAT_WAV | SF_FORMAT_PCM_16, (517 + 690) * 256));
  auto pitch = [&](int block) {  // the strongest of the file's three notes, if any sounds
    double best = 2.0 / 256, hz = 0;
    for (double f : {440.0, 659.255, 880.0})
      if (amplitude_at(w.left, size_t(block * 256), f, 256) > best) best = amplitude_at(w.left, size_t(block * 256), f, 256), hz = f;
    return hz;
  };
  for (auto [block, hz] : {std::pair{516, 0.0}, {517, 440.0}, {602, 440.0}, {603, 659.255}, {774, 659.255}, {775, 880.0}, {1206, 880.0}}) EXPECT_EQ(pitch(block), hz) << block;
  std::remove(out.c_str());
}
