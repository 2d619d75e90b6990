// Walks the wizard's pages for the headless demo, through its automation
// socket: waits for pages, keeps a screenshot of each page passed, prints
// progress, and stops at the first step that does not go as it would for a
// person installing a camera.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "support/ui_session.h"

// What the finish page showed about the installed camera.
struct FinishInfo {
  std::string name;
  std::string mac;
  std::string url;
  int frames = 0;  // live pictures drawn within two seconds
};

// Used from one thread. Every step returns false once something failed, and
// then does nothing more; Error() says what went wrong.
class DemoWalk {
 public:
  static constexpr int kPageMs = 15000;

  DemoWalk(UiSession& ui, std::string out_dir);

  // Starts a new walk; its label goes into the screenshot names.
  void Begin(const std::string& label);
  // Waits for the page, keeping screenshots of pages passed on the way.
  bool Reach(const std::string& page, int timeout_ms = kPageMs);
  // Screenshot of the page reached last.
  bool Shot();
  bool Click(const std::string& id);
  bool ClickTo(const std::string& id, const std::string& page, int timeout_ms = kPageMs);
  bool Set(const std::string& id, const std::string& value);
  bool Check(const std::string& id, bool checked);
  // On the list page: checks the row of the camera with this MAC (12 hex digits).
  bool ChooseCamera(const std::string& mac);
  // On the finish page: waits for the camera's data and its live picture.
  bool ReadFinish(FinishInfo* info);
  // Fails the walk with this text.
  bool Fail(const std::string& text);

  const std::vector<std::string>& Pages() const { return pages_; }  // of the current walk
  double Seconds() const;                                           // since Begin()
  int Screenshots() const { return shots_; }
  const std::string& Error() const { return error_; }

 private:
  bool Request(const nlohmann::json& request, nlohmann::json* reply = nullptr);
  bool WaitForScript(const std::string& js, const std::string& what);
  // A message box on a demo's path means the walk went wrong: its text is the error.
  bool NoMessageBox();
  bool NotDeadEnd();
  void Record(const std::string& page);

  UiSession& ui_;
  std::string out_dir_;
  std::string label_;
  std::string current_;  // the page reached last, as the wizard names it
  std::vector<std::string> pages_;
  std::chrono::steady_clock::time_point begun_;
  int shots_ = 0;
  std::string error_;
};
