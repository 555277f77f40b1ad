// OSC peers for the grid tests: oscdump as the LED receiver, oscsend as the controller, and a capture
// of this process's standard output for the lines the OSC handlers print.
#pragma once
#include <string>
#include <vector>

#include "tests/support/servers.hpp"

// `oscdump -L port`, ready once a probe message sent to it has come back in its output.
class osc_dump {
 public:
  explicit osc_dump(const std::string& port);
  bool ready() const { return ready_; }
  // Messages so far starting with `prefix`, without time stamps ("/box/led iii 3 0 1"), probes left out.
  std::vector<std::string> messages(const std::string& prefix = "/") const;
  bool wait_for(const std::string& message, double seconds = 5.0) const;

 private:
  child_process process_;
  bool ready_ = false;
};

// `oscsend localhost port path types args...`; returns the tool's exit status.
int osc_send(const std::string& port, const std::string& path, const std::string& types, const std::string& arguments);

// Redirects standard output (file descriptor 1) into a temporary file until destroyed.
class stdout_capture {
 public:
  stdout_capture();
  ~stdout_capture();
  std::string text() const;  // flushes stdout first

 private:
  int saved_ = -1;
  std::string path_;
};
