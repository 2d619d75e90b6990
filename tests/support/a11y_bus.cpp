#include "support/a11y_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The system's own Python: the one with the accessibility bindings.
constexpr const char* kPython = "/usr/bin/python3";
const std::string kTreeScript = std::string(QUENLO_SOURCE_DIR) + "/tests/support/a11y_tree.py";

std::string ReadLine(int fd) {
  std::string text;
  char c;
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, 10000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') text.push_back(c);
  return text;
}

// A child that dies with the test process and keeps its output to itself.
void BecomeQuietChild() {
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  int devnull = ::open("/dev/null", O_RDWR);
  for (int fd : {0, 1, 2}) ::dup2(devnull, fd);
}

void StopAndReap(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  for (int waited = 0; waited < 3000; waited += 20) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    ::usleep(20000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

A11yBus::A11yBus(const std::string& display) {
  std::string pattern = (fs::temp_directory_path() / "quenlo-a11y-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return;
  dir_ = pattern;
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return;
  bus_pid_ = ::fork();
  if (bus_pid_ == 0) {
    ::close(pipe_fds[0]);
    BecomeQuietChild();
    const std::string listen = "--address=unix:path=" + dir_ + "/bus";
    const std::string print = "--print-address=" + std::to_string(pipe_fds[1]);
    ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", listen.c_str(),
             print.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  if (bus_pid_ > 0) address_ = ReadLine(pipe_fds[0]);
  ::close(pipe_fds[0]);
  if (address_.empty()) return;
  launcher_pid_ = ::fork();
  if (launcher_pid_ == 0) {
    BecomeQuietChild();
    ::setenv("DISPLAY", display.c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    ::execl("/usr/libexec/at-spi-bus-launcher", "at-spi-bus-launcher", "--launch-immediately",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
}

// The launcher takes its accessibility bus down with it.
A11yBus::~A11yBus() {
  StopAndReap(launcher_pid_);
  StopAndReap(bus_pid_);
  std::error_code ec;
  if (!dir_.empty()) fs::remove_all(dir_, ec);
}

// UiSession turns accessibility off for the tests without a bus; the empty
// values remove those settings. Under AddressSanitizer the accessibility
// bridge's allocations (kept by it and libdbus for the life of the process)
// need whole stacks to be told from the wizard's own, which stay checked.
UiSession::Environment A11yBus::Environment() const {
  UiSession::Environment environment = {
      {"DBUS_SESSION_BUS_ADDRESS", address_}, {"NO_AT_BRIDGE", ""}, {"GTK_A11Y", ""}};
  if (const char* asan = std::getenv("ASAN_OPTIONS"); asan && *asan)
    environment.emplace_back("ASAN_OPTIONS", std::string(asan) + ":fast_unwind_on_malloc=0");
  return environment;
}

nlohmann::json A11yBus::PageObjects() const {
  const std::string command =
      "DBUS_SESSION_BUS_ADDRESS='" + address_ + "' " + kPython + " " + kTreeScript;
  FILE* out = ::popen(command.c_str(), "r");
  if (!out) return nullptr;
  std::string text;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), out)) > 0) text.append(buffer.data(), n);
  if (::pclose(out) != 0) return nullptr;
  nlohmann::json objects = nlohmann::json::parse(text, nullptr, false);
  return objects.is_discarded() ? nlohmann::json() : objects;
}
