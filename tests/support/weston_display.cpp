#include "support/weston_display.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

constexpr const char* kSocketName = "quenlo-wayland";

// No on-screen keyboard client (the headless output has no seat to serve)
// and no blanking of the output while a test waits.
constexpr const char* kConfig =
    "[core]\n"
    "idle-time=0\n"
    "[input-method]\n"
    "path=\n";

bool CanConnect(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

WestonDisplay::WestonDisplay() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quenlo-weston-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return;  // mode 0700, as a runtime folder must be
  dir_ = pattern;
  const std::string config = dir_ + "/weston.ini";
  std::ofstream(config) << kConfig;
  const std::string log = dir_ + "/weston.log";
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the test process
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("DISPLAY");
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int devnull = ::open("/dev/null", O_RDONLY);
    ::dup2(devnull, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    const std::string socket = std::string("--socket=") + kSocketName;
    const std::string config_option = "--config=" + config;
    ::execlp("weston", "weston", "--backend=headless-backend.so", socket.c_str(), "--width=1024",
             "--height=768", config_option.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ok_ = pid_ > 0 && WaitForSocket();
}

WestonDisplay::~WestonDisplay() {
  StopChild(pid_, 3000);
  std::error_code ec;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
}

bool WestonDisplay::WaitForSocket() {
  const std::string path = dir_ + "/" + kSocketName;
  for (int tries = 0; tries < 200; ++tries) {
    if (CanConnect(path)) return true;
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {  // it ended: nothing left to stop
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

ProgramEnvironment WestonDisplay::Environment() const {
  return {{"GDK_BACKEND", "wayland"}, {"WAYLAND_DISPLAY", kSocketName}, {"XDG_RUNTIME_DIR", dir_}};
}

std::string WestonDisplay::Log() const {
  std::ifstream in(dir_ + "/weston.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
