// The recorder: audio-side ring copy, the writer thread that drains it through libsndfile, start and stop.
#include "apps/kelvarin/recorder.hpp"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "apps/brightloom/env-all.hpp"
#include "apps/kelvarin/synth.hpp"
#include "toolset/atomics.hpp"

namespace {

constexpr uint32_t RING_MASK = RECORDER_RING_FRAMES - 1;
constexpr auto DRAIN_PERIOD = std::chrono::milliseconds(20);  // a few blocks: the ring holds ~150 periods

// Interleaved stereo frames. Positions count frames since the program started and wrap at 2^32, which
// the power-of-two ring divides. The audio thread is the only writer of `write_pos`, the writer thread
// (or the display thread while none runs) of `read_pos`.
alignas(64) float ring[2 * RECORDER_RING_FRAMES];
alignas(4) uint32_t write_pos = 0;
alignas(4) uint32_t read_pos = 0;
alignas(4) uint32_t start_pos = 0;  // write_pos when the recording started
alignas(4) int32_t armed = 0;       // the audio side copies while 1
alignas(4) int32_t overrun = 0;     // the audio side found the ring full and stopped copying
alignas(4) int32_t busy = 0;        // a writer thread runs
std::string current_path;           // display thread only

// Writes everything published so far; on a write error stops the audio side and says why in `why`.
// `kept` counts the frames that reached the file.
bool private_drain(SNDFILE* file, uint32_t& kept, std::string& why) {
  uint32_t w = load_acquire(write_pos), r = load_relaxed(read_pos);
  while (r != w) {
    uint32_t at = r & RING_MASK, n = std::min(w - r, RECORDER_RING_FRAMES - at);
    errno = 0;
    sf_count_t put = sf_writef_float(file, ring + 2 * size_t(at), sf_count_t(n));
    kept += uint32_t(std::max<sf_count_t>(put, 0));
    if (put != sf_count_t(n)) {
      why = errno ? std::strerror(errno) : sf_strerror(file);
      store_release(armed, 0);
      return false;
    }
    r += n;
    store_release(read_pos, r);
  }
  return true;
}

void private_writer(SNDFILE* file, std::string path) {
  uint32_t kept = 0;
  std::string why;
  for (;;) {
    bool last = !load_acquire(armed);  // a block published after this is not waited for
    if (!private_drain(file, kept, why) || last) break;
    std::this_thread::sleep_for(DRAIN_PERIOD);
  }
  if (why.empty() && load_acquire(overrun)) {
    char text[64];
    std::snprintf(text, sizeof text, "the disk fell more than %.1f s behind", RECORDER_RING_FRAMES / double(SAMPLE_RATE));
    why = text;
  }
  sf_close(file);
  double seconds = double(kept) / SAMPLE_RATE;
  if (why.empty()) {
    std::printf("recorded %s (%.1f s)\n", path.c_str(), seconds);
  } else {
    std::printf("recording stopped, %s: recorded %s (%.1f s)\n", why.c_str(), path.c_str(), seconds);
  }
  std::fflush(stdout);
  store_release(busy, 0);
}

// "recordings/kelvarin-YYYYMMDD-HHMMSS.wav" in the slots' folder, made when missing; "" when it cannot be.
std::string private_folder() {
  byte_array resolved = vpath("virtual://root/recordings");
  std::string folder = array_data(resolved) ? array_data(resolved) : "";
  array_reset(resolved);
  if (folder.empty() || (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)) return "";
  return folder;
}

std::string private_file_name(const std::string& folder) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string base = folder + "/kelvarin-" + stamp, path = base + ".wav";
  for (int n = 2; access(path.c_str(), F_OK) == 0; ++n) path = base + "-" + std::to_string(n) + ".wav";
  return path;
}

SNDFILE* private_open(const std::string& path) {
  SF_INFO info{};
  info.samplerate = int(SAMPLE_RATE);
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  // The header follows every write, so the file plays whatever stops the program.
  if (file) sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  return file;
}

}  // namespace

void recorder_accept(const float* left, const float* right, int32_t frames) {
  if (!load_acquire(armed) || frames <= 0) return;
  uint32_t w = load_relaxed(write_pos), n = uint32_t(frames);
  if (w - load_acquire(read_pos) + n > RECORDER_RING_FRAMES) {
    store_relaxed(overrun, 1);
    store_release(armed, 0);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    size_t at = size_t((w + i) & RING_MASK);
    ring[2 * at] = left[i];
    ring[2 * at + 1] = right[i];
  }
  store_release(write_pos, w + n);
}

int recorder_start() {
  if (load_acquire(armed) || load_acquire(busy)) return 0;
  std::signal(SIGXFSZ, SIG_IGN);  // a file size limit is a write error to report, not the end of the program
  std::string folder = private_folder();
  std::string path = folder.empty() ? "" : private_file_name(folder);
  SNDFILE* file = path.empty() ? nullptr : private_open(path);
  if (!file) {
    std::printf("cannot record: %s is not writable (%s); nothing recorded\n",
                path.empty() ? "the recordings folder" : path.c_str(), std::strerror(errno ? errno : EACCES));
    std::fflush(stdout);
    return 0;
  }
  current_path = path;
  uint32_t now = load_acquire(write_pos);
  store_relaxed(read_pos, now);
  store_relaxed(start_pos, now);
  store_relaxed(overrun, 0);
  store_relaxed(busy, 1);
  std::printf("recording to %s\n", path.c_str());
  std::fflush(stdout);
  store_release(armed, 1);  // before the writer starts, which takes a clear flag for a stop
  std::thread(private_writer, file, path).detach();
  return 1;
}

void recorder_stop() { store_release(armed, 0); }

void recorder_toggle() {
  if (recorder_recording()) {
    recorder_stop();
  } else {
    recorder_start();
  }
}

int recorder_recording() { return load_acquire(armed); }

double recorder_seconds() { return double(load_relaxed(write_pos) - load_relaxed(start_pos)) / SAMPLE_RATE; }

int recorder_wait_idle(double seconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (load_acquire(busy) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return !load_acquire(busy);
}

void recorder_finish() {
  recorder_stop();
  recorder_wait_idle(2.0);
}

std::string recorder_path() { return current_path; }
