// The desktop's "open" through GLib: the browser for web addresses, the
// program itself or the file's default application otherwise.
#pragma once

#include <string>
#include <vector>

#include "app/dialog_window.h"

// Threads: UI thread only.
class ShellGtk : public IShell {
 public:
  // With `record_launches`, Open only records its targets (automation).
  explicit ShellGtk(bool record_launches) : record_launches_(record_launches) {}

  // IShell
  void Open(const std::string& target) override;

  // The targets recorded so far, in order (automation).
  const std::vector<std::string>& Launched() const { return launched_; }

 private:
  const bool record_launches_;
  std::vector<std::string> launched_;
};
