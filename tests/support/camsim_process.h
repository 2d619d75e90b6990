#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Runs the camera simulator as a child process on 127.0.0.1 and a free port,
// and stops it with SIGTERM when destroyed.
class CamsimProcess {
 public:
  explicit CamsimProcess(const std::vector<std::string>& extra_args = {});
  ~CamsimProcess();
  CamsimProcess(const CamsimProcess&) = delete;
  CamsimProcess& operator=(const CamsimProcess&) = delete;

  // False when the simulator did not start (see error()).
  bool ok() const { return port_ != 0; }
  uint16_t port() const { return port_; }
  const std::string& error() const { return error_; }
  // Sends SIGTERM and waits: the exit status as waitpid reports it.
  int Stop();

  static std::string BinaryPath();

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string error_;
};

}  // namespace testsupport
