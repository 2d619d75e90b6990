// A display server that a test starts for the program it drives: Xvfb, or a
// headless Wayland compositor. The program reaches it through environment
// variables only.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

using ProgramEnvironment = std::vector<std::pair<std::string, std::string>>;

class TestDisplay {
 public:
  virtual ~TestDisplay() = default;
  virtual bool Ok() const = 0;
  // For a failure's message: "Xvfb", "weston".
  virtual std::string Kind() const = 0;
  // What leads GTK in the program to this server and to no other.
  virtual ProgramEnvironment Environment() const = 0;
};

// Ends a child process: SIGTERM, then SIGKILL after `timeout_ms`; reaps it.
bool StopChild(pid_t pid, int timeout_ms);
