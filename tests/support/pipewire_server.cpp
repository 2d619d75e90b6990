#include "support/pipewire_server.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/test_display.h"
#include "support/vlan.h"

namespace testsupport {

namespace {

namespace fs = std::filesystem;

// The session manager watches no sound cards or cameras of the machine (nor
// Bluetooth: it finds no system bus): the null sink is all a test needs.
// Named to load after the packaged fragments that set these to true, and
// before the one that starts what they enable.
constexpr const char* kNoDevices =
    "alsa_monitor.enabled = false\n"
    "v4l2_monitor.enabled = false\n"
    "libcamera_monitor.enabled = false\n";

bool WaitForPath(const std::string& path) {
  for (int tries = 0; tries < 100; ++tries) {
    std::error_code ec;
    if (fs::exists(path, ec)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace

PipeWireServer::PipeWireServer() {
  std::string pattern = (fs::temp_directory_path() / "quenlo-pipewire-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    error_ = "no temporary folder";
    return;
  }
  dir_ = pattern;
  const fs::path lua = fs::path(dir_) / "config/wireplumber/main.lua.d";
  fs::create_directories(lua);
  std::ofstream(lua / "60-quenlo-no-devices.lua") << kNoDevices;
  if (!StartBus() || !StartSoundProcesses()) {
    error_ += "\n" + Logs();
    return;
  }
  const std::string server = "unix:" + dir_ + "/pulse/native";
  std::string out;
  if (RunProgram({"pactl", "--server", server, "load-module", "module-null-sink",
                  std::string("sink_name=") + kSink},
                 &out) != 0 ||
      RunProgram({"pactl", "--server", server, "set-default-sink", kSink}, &out) != 0) {
    error_ = "no null sink: " + out + "\n" + Logs();
    return;
  }
  server_ = server;
}

PipeWireServer::~PipeWireServer() {
  for (auto pid = pids_.rbegin(); pid != pids_.rend(); ++pid) StopChild(*pid, 3000);
  std::error_code ec;
  if (!dir_.empty()) fs::remove_all(dir_, ec);
}

pid_t PipeWireServer::Spawn(const std::vector<std::string>& argv) {
  const std::string log = dir_ + "/" + argv[0] + ".log";
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the test process
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PIPEWIRE_RUNTIME_DIR"})
      setenv(name, dir_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
    setenv("XDG_STATE_HOME", (dir_ + "/state").c_str(), 1);
    setenv("PULSE_RUNTIME_PATH", (dir_ + "/pulse").c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir_ + "/bus").c_str(), 1);
    // Nothing of the machine's: no system bus (logind, Bluetooth), no other
    // PipeWire or Pulse server.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quenlo-no-bus", 1);
    for (const char* name : {"PIPEWIRE_REMOTE", "PULSE_SERVER", "DISPLAY", "WAYLAND_DISPLAY"})
      unsetenv(name);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(out, 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (pid > 0) pids_.push_back(pid);
  return pid;
}

bool PipeWireServer::StartBus() {
  const std::string bus = dir_ + "/bus";
  if (Spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=unix:path=" + bus}) >
          0 &&
      WaitForPath(bus)) {
    return true;
  }
  error_ = "dbus-daemon did not start";
  return false;
}

// pipewire first: the other two are its clients and give up without it.
bool PipeWireServer::StartSoundProcesses() {
  if (Spawn({"pipewire"}) <= 0 || !WaitForPath(dir_ + "/pipewire-0")) {
    error_ = "pipewire did not start";
    return false;
  }
  const pid_t pulse = Spawn({"pipewire-pulse"});
  if (Spawn({"wireplumber"}) <= 0 || pulse <= 0 ||
      !AnswersPulse("unix:" + dir_ + "/pulse/native", pulse)) {
    error_ = "pipewire-pulse did not answer";
    return false;
  }
  return true;
}

std::string PipeWireServer::Logs() const {
  std::string logs;
  for (const char* name : {"dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse"}) {
    std::ifstream in(dir_ + "/" + name + ".log");
    std::stringstream text;
    text << in.rdbuf();
    logs += std::string(name) + ": " + text.str() + "\n";
  }
  return logs;
}

}  // namespace testsupport
