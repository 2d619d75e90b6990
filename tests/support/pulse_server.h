#pragma once

#include <sys/types.h>

#include <string>

namespace testsupport {

// A private PulseAudio server for tests: its own runtime folder, one null
// sink ("quenlo_null", whose monitor records what is played) and a socket
// that needs no cookie. Stopped by its process id when destroyed; never the
// machine's own server.
class PulseServer {
 public:
  static constexpr const char* kSink = "quenlo_null";

  PulseServer();
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  bool ok() const { return !server_.empty(); }
  const std::string& error() const { return error_; }
  // "unix:<folder>/native", for PULSE_SERVER.
  const std::string& server() const { return server_; }
  // Records the sink's monitor for `seconds`: 16-bit mono samples at `rate`.
  std::string Record(double seconds, int rate) const;

 private:
  pid_t pid_ = -1;
  std::string dir_;
  std::string server_;
  std::string error_;
};

}  // namespace testsupport
