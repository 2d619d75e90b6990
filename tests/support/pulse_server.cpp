#include "support/pulse_server.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/vlan.h"

namespace testsupport {

PulseServer::PulseServer() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quenlo-pulse-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    error_ = "no temporary folder";
    return;
  }
  dir_ = pattern;
  const std::string socket = dir_ + "/native";
  pid_ = fork();
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the test process
    setenv("HOME", dir_.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", dir_.c_str(), 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string sink = std::string("module-null-sink sink_name=") + kSink;
    const std::string protocol = "module-native-protocol-unix auth-anonymous=1 socket=" + socket;
    execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
           "--use-pid-file=no", "--system=no", "--log-level=error", "-L", sink.c_str(), "-L",
           protocol.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string server = "unix:" + socket;
  for (int tries = 0; tries < 100; ++tries) {
    std::string out;
    std::error_code ec;
    if (std::filesystem::exists(socket, ec) &&
        RunProgram({"pactl", "--server", server, "info"}, &out) == 0) {
      server_ = server;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  error_ = "pulseaudio did not answer on " + server;
}

PulseServer::~PulseServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

std::string PulseServer::Record(double seconds, int rate) const {
  std::string samples;
  RunProgram({"timeout", std::to_string(seconds), "parec", "--server", server_, "--device",
              std::string(kSink) + ".monitor", "--format=s16le", "--rate=" + std::to_string(rate),
              "--channels=1", "--raw", "--latency-msec=20"},
             &samples);
  return samples;
}

}  // namespace testsupport
