// A headless Weston compositor for tests that run the program on Wayland.
#pragma once

#include <sys/types.h>

#include <string>

#include "support/test_display.h"

// Weston's headless backend with its own runtime folder (XDG_RUNTIME_DIR)
// and socket name, so that no desktop's compositor is ever reached. Stopped
// by its process id and its folder removed when destroyed.
class WestonDisplay : public TestDisplay {
 public:
  WestonDisplay();
  ~WestonDisplay() override;
  WestonDisplay(const WestonDisplay&) = delete;
  WestonDisplay& operator=(const WestonDisplay&) = delete;

  bool Ok() const override { return ok_; }
  std::string Kind() const override { return "weston"; }
  ProgramEnvironment Environment() const override;
  // Weston's own output, for a failure's message.
  std::string Log() const;

 private:
  bool WaitForSocket();

  pid_t pid_ = -1;
  bool ok_ = false;
  std::string dir_;
};
