// Test fixtures for real components, started per test and stopped by process id.
#include "tests/support/servers.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {
void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// jackd keeps the names of at most eight servers in /dev/shm/jack-shm-registry and frees a slot only
// when a server of the same name starts again. Test servers have names of their own, so each one
// killed before it could unregister (SIGKILL, a crashed test) keeps its slot until no server starts
// at all ("Too many servers already active"). Slots whose process is gone are freed here, under
// JACK's own registry lock, as jackd does for a slot of its own name. The layout is jackd2's: a
// 24-byte header ("JACK", protocol, type, size, header length, entry length), then eight slots of a
// process id and a name; anything else is left alone.
void reclaim_dead_jack_servers() {
  constexpr key_t REGISTRY_LOCK = 0x282929;
  constexpr int SLOTS = 8;
  int lock = semget(REGISTRY_LOCK, 1, 0);
  int fd = open("/dev/shm/jack-shm-registry", O_RDWR | O_CLOEXEC);
  if (lock < 0 || fd < 0) {
    if (fd >= 0) close(fd);
    return;
  }
  struct stat st;
  void* map = fstat(fd, &st) == 0 && st.st_size >= 24 ? mmap(nullptr, size_t(st.st_size), PROT_READ | PROT_WRITE,
                                                              MAP_SHARED, fd, 0)
                                                       : MAP_FAILED;
  close(fd);
  if (map == MAP_FAILED) return;
  unsigned char* base = static_cast<unsigned char*>(map);
  uint32_t header_length;
  std::memcpy(&header_length, base + 16, 4);
  int32_t stride = (int32_t(header_length) - 24) / SLOTS;
  sembuf take{0, -1, SEM_UNDO}, give{0, 1, SEM_UNDO};
  if (std::memcmp(base, "KCAJ", 4) == 0 && stride >= 8 && header_length <= st.st_size && semop(lock, &take, 1) == 0) {
    for (int i = 0; i < SLOTS; ++i) {
      unsigned char* slot = base + 24 + i * stride;
      pid_t pid;
      std::memcpy(&pid, slot, sizeof pid);
      if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) std::memset(slot, 0, size_t(stride));
    }
    semop(lock, &give, 1);
  }
  munmap(map, size_t(st.st_size));
}
}  // namespace

child_process::child_process(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  static int counter = 0;
  log_path_ = "/tmp/kv-child-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) environment.emplace_back(*e);
  for (const std::string& e : env) environment.push_back(e);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

child_process::~child_process() {
  stop();
  std::remove(log_path_.c_str());
}

std::string child_process::output() const {
  std::stringstream s;
  s << std::ifstream(log_path_).rdbuf();
  return s.str();
}

bool child_process::wait_for_output(const std::string& text, double seconds) const {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (output().find(text) == std::string::npos)
    if (std::chrono::steady_clock::now() > end) return false;
    else sleep_ms(20);
  return true;
}

bool child_process::running() {
  if (pid_ <= 0) return false;
  int status;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == 0) return true;
  if (r == pid_) status_ = status;
  pid_ = -1;
  return false;
}

int child_process::wait_exit(double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
    if (!running()) break;
    sleep_ms(10);
  }
  if (pid_ > 0) return -1;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

void child_process::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 200 && running(); ++i) sleep_ms(10);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status;
    waitpid(pid_, &status, 0);
    pid_ = -1;
  }
}

jack_server::jack_server(const std::string& tag) {
  name_ = "kv-" + tag + "-" + std::to_string(getpid());
  setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  reclaim_dead_jack_servers();
  process_ = new child_process({"jackd", "-n", name_, "-d", "dummy", "-r", "44100", "-p", "256"});
  setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  for (int i = 0; i < 200 && !ready_; ++i) {
    int status = -1;
    std::string out = run_command("jack_lsp 2>/dev/null", &status);
    ready_ = status == 0 && out.find("system:playback_1") != std::string::npos;
    if (!ready_) sleep_ms(50);
  }
}

jack_server::~jack_server() {
  delete process_;
  unsetenv("JACK_DEFAULT_SERVER");
}

std::vector<std::string> jack_server::ports() const {
  std::vector<std::string> lines;
  std::stringstream s(run_command("jack_lsp 2>/dev/null"));
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> jack_server::env() const {
  return {"JACK_DEFAULT_SERVER=" + name_, "JACK_NO_AUDIO_RESERVATION=1", "JACK_NO_START_SERVER=1"};
}

xvfb_display::xvfb_display(int width, int height) {
  for (int n = 100 + getpid() % 800;; ++n) {
    if (!exists("/tmp/.X" + std::to_string(n) + "-lock") && !exists("/tmp/.X11-unix/X" + std::to_string(n))) {
      number_ = n;
      break;
    }
  }
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  process_ = new child_process({"Xvfb", name(), "-screen", "0", screen, "-nolisten", "tcp"});
  for (int i = 0; i < 300 && !ready_; ++i) {
    ready_ = exists("/tmp/.X11-unix/X" + std::to_string(number_));
    if (!ready_) sleep_ms(20);
  }
  setenv("DISPLAY", name().c_str(), 1);
}

xvfb_display::~xvfb_display() { delete process_; }

std::string run_command(const std::string& shell_command, int* status) {
  std::string out;
  FILE* p = popen(shell_command.c_str(), "r");
  char buffer[4096];
  for (size_t n; p && (n = fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
  int s = p ? pclose(p) : -1;
  if (status) *status = p && WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return out;
}

std::string source_dir() { return std::getenv("KV_SOURCE_DIR") ? std::getenv("KV_SOURCE_DIR") : "."; }
std::string binary_dir() { return std::getenv("KV_BINARY_DIR") ? std::getenv("KV_BINARY_DIR") : "."; }
