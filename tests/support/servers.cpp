// Test fixtures for real components, started per test and stopped by process id.
#include "tests/support/servers.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {
bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}
}  // namespace

bool eventually(const std::function<bool()>& done, double seconds, double step) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (; std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::duration<double>(step)))
    if (done()) return true;
  return done();
}

child_process::child_process(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  static int counter = 0;
  log_path_ = "/tmp/kv-child-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".log";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args, envp;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
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
  return eventually([&] { return output().find(text) != std::string::npos; }, seconds, 0.02);
}

bool child_process::running() {
  int status = 0;
  pid_t r = pid_ > 0 ? waitpid(pid_, &status, WNOHANG) : -1;
  if (r > 0) status_ = status;
  if (r != 0) pid_ = -1;
  return r == 0;
}

int child_process::wait_exit(double seconds) {
  if (!eventually([&] { return !running(); }, seconds, 0.01)) return -1;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

// A server killed before it could unregister keeps its slot in JACK's registry of eight: SIGKILL only
// when SIGTERM has had five seconds.
void child_process::stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (eventually([&] { return !running(); }, 5.0, 0.01)) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

jack_server::jack_server(const std::string& tag) : name_("kv-" + tag + "-" + std::to_string(getpid())) {
  setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  process_ = new child_process({"jackd", "-n", name_, "-d", "dummy", "-r", "44100", "-p", "256"});
  setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  ready_ = eventually([] {
    int status = -1;
    std::string out = run_command("jack_lsp 2>/dev/null", &status);
    return status == 0 && out.find("system:playback_1") != std::string::npos;
  }, 20.0);
}

jack_server::~jack_server() {
  delete process_;
  unsetenv("JACK_DEFAULT_SERVER");
}

std::vector<std::string> jack_server::env() const {
  return {"JACK_DEFAULT_SERVER=" + name_, "JACK_NO_AUDIO_RESERVATION=1", "JACK_NO_START_SERVER=1"};
}

xvfb_display::xvfb_display(int width, int height) {
  number_ = 100 + getpid() % 800;
  while (exists("/tmp/.X" + std::to_string(number_) + "-lock") || exists("/tmp/.X11-unix/X" + std::to_string(number_)))
    ++number_;
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  process_ = new child_process({"Xvfb", name(), "-screen", "0", screen, "-nolisten", "tcp"});
  ready_ = eventually([&] { return exists("/tmp/.X11-unix/X" + std::to_string(number_)); }, 10.0, 0.02);
  setenv("DISPLAY", name().c_str(), 1);
}

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
