// A private accessibility bus for one test: a session bus of its own and
// the accessibility bus launcher on it, so that the program under test shows
// its accessible objects to this test and to nobody else. Both are stopped
// and their folder removed when the object goes, also when a test fails.
#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>

#include "support/ui_session.h"

class A11yBus {
 public:
  // Starts the buses for programs on X display `display`.
  explicit A11yBus(const std::string& display);
  ~A11yBus();
  A11yBus(const A11yBus&) = delete;
  A11yBus& operator=(const A11yBus&) = delete;

  bool Ok() const { return launcher_pid_ > 0 && !address_.empty(); }
  // What a program needs in its environment to publish its objects here.
  UiSession::Environment Environment() const;
  // The accessible objects of the web pages that programs on this bus show,
  // in tree order: [{"role", "name", "attributes": {...}, "depth"}, ...];
  // null when the tree could not be read.
  nlohmann::json PageObjects() const;

 private:
  std::string dir_;
  std::string address_;
  pid_t bus_pid_ = -1;
  pid_t launcher_pid_ = -1;
};
