// OSC peers for the grid tests, started and stopped by the test that uses them.
#include "tests/grid/osc_peers.hpp"

#include <fcntl.h>
#include <lo/lo.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

osc_dump::osc_dump(const std::string& port) : process_({"oscdump", "-L", port}) {
  lo_address to = lo_address_new(nullptr, port.c_str());
  for (int i = 0; i < 500 && !ready_; ++i) {
    lo_send(to, "/kv/probe", "i", 1);
    ready_ = process_.output().find("/kv/probe") != std::string::npos;
    if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  lo_address_free(to);
}

std::vector<std::string> osc_dump::messages(const std::string& prefix) const {
  std::vector<std::string> out;
  std::istringstream lines(process_.output());
  for (std::string line; std::getline(lines, line);) {
    size_t space = line.find(' ');
    if (space != std::string::npos && line.compare(space + 1, prefix.size(), prefix) == 0 &&
        line.compare(space + 1, 9, "/kv/probe") != 0)
      out.push_back(line.substr(space + 1));
  }
  return out;
}

bool osc_dump::wait_for(const std::string& message, double seconds) const {
  for (auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);;) {
    for (const std::string& m : messages())
      if (m == message) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int osc_send(const std::string& port, const std::string& path, const std::string& types, const std::string& arguments) {
  int status = -1;
  run_command("oscsend localhost " + port + " " + path + " " + types + " " + arguments, &status);
  return status;
}

stdout_capture::stdout_capture() : path_("/tmp/kv-grid-stdout-" + std::to_string(getpid()) + ".txt") {
  fflush(stdout);
  saved_ = dup(1);
  int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(fd, 1);
  close(fd);
}

stdout_capture::~stdout_capture() {
  fflush(stdout);
  dup2(saved_, 1);
  close(saved_);
  std::remove(path_.c_str());
}

std::string stdout_capture::text() const {
  fflush(stdout);
  std::stringstream s;
  s << std::ifstream(path_).rdbuf();
  return s.str();
}
