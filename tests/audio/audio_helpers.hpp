// Shared by the audio tests: WAV files read back per channel, a single-bin DFT, temporary paths, text.
#pragma once
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct wav {
  SF_INFO info{};
  std::vector<float> left, right;
};

inline wav read_wav(const std::string& path) {
  wav w;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
  if (!f) return w;
  std::vector<float> s(size_t(w.info.frames) * size_t(w.info.channels));
  sf_readf_float(f, s.data(), w.info.frames);
  sf_close(f);
  for (size_t i = 0; i + 1 < s.size(); i += size_t(w.info.channels)) {
    w.left.push_back(s[i]);
    w.right.push_back(s[i + 1]);
  }
  return w;
}

// Amplitude of the component at `hz` over one second from `start`: whole cycles, so neighbours vanish.
inline double amplitude_at(const std::vector<float>& x, size_t start, double hz) {
  double re = 0, im = 0;
  for (size_t n = 0; n < 44100; ++n) {
    double phase = 2.0 * M_PI * hz * double(n) / 44100.0;
    re += x[start + n] * std::cos(phase);
    im -= x[start + n] * std::sin(phase);
  }
  return 2.0 * std::sqrt(re * re + im * im) / 44100.0;
}

inline std::string temp_path(const std::string& name) {
  return ::testing::TempDir() + "kv-audio-" + std::to_string(getpid()) + "-" + name;
}

inline std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

// The two output ports of this process's stream on a JACK server (anything not the server's own),
// waited for up to two seconds.
template <class server_t>
std::vector<std::string> stream_ports(const server_t& server) {
  std::vector<std::string> ports;
  for (int i = 0; i < 100 && ports.size() < 2; ++i) {
    ports.clear();
    for (const std::string& p : server.ports())
      if (p.rfind("system:", 0) != 0) ports.push_back(p);
    if (ports.size() < 2) usleep(20000);
  }
  return ports;
}
