#include "support/pulse_server.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

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
  if (AnswersPulse(server, pid_)) {
    server_ = server;
  } else {
    error_ = "pulseaudio did not answer on " + server;
  }
}

PulseServer::~PulseServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

}  // namespace testsupport
