// What the sound tests need of a private sound server: a Pulse socket to
// play to and a null sink whose monitor can be recorded.
#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

// A sound server a test starts for itself, with its own runtime folder; never
// the machine's own. Subclasses start it and set server_ once it answers.
class SoundServer {
 public:
  // The null sink every such server has, the default sink of its clients.
  static constexpr const char* kSink = "quenlo_null";

  virtual ~SoundServer() = default;

  bool ok() const { return !server_.empty(); }
  const std::string& error() const { return error_; }
  // "unix:<folder>/...", for PULSE_SERVER.
  const std::string& server() const { return server_; }
  // Records the sink's monitor for `seconds`: 16-bit mono samples at `rate`.
  std::string Record(double seconds, int rate) const;

 protected:
  // Waits until a Pulse client is served at `server` while `pid` runs.
  static bool AnswersPulse(const std::string& server, pid_t pid);

  std::string server_;
  std::string error_;
};

}  // namespace testsupport
