// Shared by the audio tests: WAV files read back per channel and a single-bin DFT.
#pragma once
#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

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

// Amplitude of the component at `hz` over one second from `start`: whole cycles, so neighbours vanish.
inline double amplitude_at(const std::vector<float>& x, size_t start, double hz) {
  double re = 0, im = 0;
  for (size_t n = 0; n < 44100; ++n) re += x[start + n] * std::cos(2 * M_PI * hz * double(n) / 44100), im -= x[start + n] * std::sin(2 * M_PI * hz * double(n) / 44100);
  return 2.0 * std::hypot(re, im) / 44100.0;
}
