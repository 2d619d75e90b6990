#pragma once

#include <sys/types.h>

#include <string>

#include "support/sound_server.h"

namespace testsupport {

// A private PulseAudio server for tests: its own runtime folder, the null
// sink and a socket that needs no cookie. Stopped by its process id when
// destroyed; never the machine's own server.
class PulseServer : public SoundServer {
 public:
  PulseServer();
  ~PulseServer() override;
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

 private:
  pid_t pid_ = -1;
  std::string dir_;
};

}  // namespace testsupport
