// Drives the real program in tests: an own Xvfb display, the program started
// on a medium with QUENLO_AUTOMATION set, and a client for its socket.
#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "support/test_display.h"

// An Xvfb server on a free display, stopped by its process id.
class XvfbDisplay : public TestDisplay {
 public:
  static constexpr const char* kDefaultScreen = "1024x768x24";
  // `screen` as Xvfb's -screen 0 takes it: WIDTHxHEIGHTxDEPTH.
  explicit XvfbDisplay(const std::string& screen = kDefaultScreen);
  ~XvfbDisplay() override;
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  bool Ok() const override { return pid_ > 0 && !name_.empty(); }
  std::string Kind() const override { return "Xvfb"; }
  ProgramEnvironment Environment() const override;
  const std::string& Name() const { return name_; }  // ":N"

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// A copy of the built medium (bin/, HTML/, Doc/) in a temporary folder, so a
// test can change its Config.ini. Removed again at the end.
class MediumCopy {
 public:
  MediumCopy();
  ~MediumCopy();
  MediumCopy(const MediumCopy&) = delete;
  MediumCopy& operator=(const MediumCopy&) = delete;
  const std::string& Root() const { return root_; }  // ends with '/'
  // Replaces "key=..." in Config.ini's text (first occurrence).
  void SetConfigLine(const std::string& key, const std::string& value) const;

 private:
  std::string root_;
};

// One run of the program, talking JSON lines over the automation socket.
class UiSession {
 public:
  using Environment = ProgramEnvironment;
  // Starts <medium_root>bin/quenlo-setup on the X display `display`, with
  // `environment` added to its own (an empty value removes the variable),
  // and connects.
  UiSession(const std::string& medium_root, const std::string& display,
            const Environment& environment = {});
  // The same on a display server of the test's, X or Wayland; the program's
  // standard error goes to `stderr_path` when one is given.
  UiSession(const std::string& medium_root, const TestDisplay& display,
            const Environment& environment = {}, const std::string& stderr_path = "");
  // Quits the program if it still runs (then kills it by pid).
  ~UiSession();
  UiSession(const UiSession&) = delete;
  UiSession& operator=(const UiSession&) = delete;

  bool Connected() const { return fd_ >= 0; }
  pid_t Pid() const { return pid_; }
  // Waits until the program has started itself anew (same pid, its old
  // connection closed) and connects to the new image; false when it does not answer.
  bool Reconnect();
  const std::string& SocketPath() const { return socket_path_; }
  // Sends one request and reads its reply; {"ok":false,"error":"io"} on failure.
  nlohmann::json Request(const nlohmann::json& request);
  // Waits until the page with this file name has completed; false on time-out.
  bool WaitForPage(const std::string& file_name, int timeout_ms = 15000);
  // Polls `js` until it evaluates to true; false on time-out.
  bool WaitForScript(const std::string& js, int timeout_ms = 10000);
  // Waits until the live picture has been painted `frames` times in all.
  bool WaitForLive(int frames, int timeout_ms);
  // Clicks and waits for the page that should follow.
  bool ClickTo(const std::string& id, const std::string& file_name);
  // Lets the page itself navigate to a file of the medium's HTML folder (as a
  // link would) and waits until the new document has replaced the old one.
  bool LoadByScript(const std::string& html_folder, const std::string& file_name);
  std::string PageName();
  // Waits for the process to end; its exit status, or -1 on time-out/signal.
  int WaitForExit(int timeout_ms = 15000);

 private:
  // Starts the program with `display` (the variables that lead it to its
  // display server) and `environment` added to its own environment.
  void Start(const std::string& medium_root, const Environment& display,
             const Environment& environment, const std::string& stderr_path = "");
  void Connect();

  pid_t pid_ = -1;
  int fd_ = -1;
  std::string dir_;
  std::string socket_path_;
  std::string buffer_;
};
