// Test fixtures for real components: child processes, a JACK dummy server and an Xvfb display, each
// started by the test with its own name or number and stopped by its process id.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// A child process whose standard output and error go to a file the test can read while it runs.
class child_process {
 public:
  // argv[0] is looked up on PATH. Extra "NAME=value" entries are added to the environment.
  explicit child_process(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
  ~child_process();
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;

  pid_t pid() const { return pid_; }
  std::string output() const;  // everything written so far
  bool wait_for_output(const std::string& text, double seconds) const;
  // Waits for the process to end by itself; returns its exit status, or -1 on a time-out or signal.
  int wait_exit(double seconds);
  void stop();  // SIGTERM, then SIGKILL after five seconds; reaps the process
  bool running();

 private:
  pid_t pid_ = -1;
  std::string log_path_;
  int status_ = -1;
};

// jackd with the dummy backend (44100 Hz, 256 frames) under a server name of its own. The constructor
// waits until the server answers and exports JACK_DEFAULT_SERVER so clients in this process find it.
class jack_server {
 public:
  explicit jack_server(const std::string& tag);
  ~jack_server();
  bool ready() const { return ready_; }
  std::vector<std::string> env() const;  // the variables a child client needs

 private:
  std::string name_;
  bool ready_ = false;
  child_process* process_ = nullptr;
};

// Xvfb on a free display number; exports DISPLAY for this process.
class xvfb_display {
 public:
  explicit xvfb_display(int width = 1280, int height = 800);
  ~xvfb_display() { delete process_; }
  std::string name() const { return ":" + std::to_string(number_); }
  bool ready() const { return ready_; }

 private:
  int number_ = -1;
  bool ready_ = false;
  child_process* process_ = nullptr;
};

// Asks `done` every `step` seconds until it holds (true) or `seconds` have passed (false).
bool eventually(const std::function<bool()>& done, double seconds, double step = 0.05);
// Runs a command to completion and returns its standard output (and its exit status through status).
std::string run_command(const std::string& shell_command, int* status = nullptr);
std::string source_dir();  // KV_SOURCE_DIR, set by CTest
std::string binary_dir();  // KV_BINARY_DIR
