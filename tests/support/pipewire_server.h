#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/sound_server.h"

namespace testsupport {

// A private PipeWire for tests, as a desktop runs it: a session bus of its
// own (dbus-daemon), pipewire, its session manager (wireplumber) and its
// Pulse server (pipewire-pulse), all in one runtime folder, with the null
// sink loaded through the Pulse side. Watches no devices of the machine.
// Each process is stopped by its id and the folder removed when destroyed.
class PipeWireServer : public SoundServer {
 public:
  PipeWireServer();
  ~PipeWireServer() override;
  PipeWireServer(const PipeWireServer&) = delete;
  PipeWireServer& operator=(const PipeWireServer&) = delete;

 private:
  // Starts `argv` with the private environment, its output into
  // <folder>/<argv[0]>.log; its pid, or -1.
  pid_t Spawn(const std::vector<std::string>& argv);
  bool StartBus();
  bool StartSoundProcesses();
  // Each process's log, for a failure's message.
  std::string Logs() const;

  std::vector<pid_t> pids_;  // in the order started
  std::string dir_;
};

}  // namespace testsupport
