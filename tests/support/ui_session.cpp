#include "support/ui_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string MakeTempDir(const char* prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  return mkdtemp(pattern.data()) ? pattern : "";
}

// Reads the display number Xvfb writes to its -displayfd pipe.
std::string ReadDisplay(int fd) {
  std::string text;
  char c;
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, 10000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n') text.push_back(c);
  return text.empty() ? "" : ":" + text;
}

}  // namespace

bool StopChild(pid_t pid, int timeout_ms) {
  if (pid <= 0) return true;
  ::kill(pid, SIGTERM);
  for (int waited = 0; waited < timeout_ms; waited += 20) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return true;
    SleepMs(20);
  }
  ::kill(pid, SIGKILL);
  return ::waitpid(pid, nullptr, 0) == pid;
}

XvfbDisplay::XvfbDisplay(const std::string& screen) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(pipe_fds[0]);
    std::string fd = std::to_string(pipe_fds[1]);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the test process
    int devnull = ::open("/dev/null", O_RDWR);
    for (int fd : {0, 1, 2}) ::dup2(devnull, fd);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
             "tcp", "-noreset", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  if (pid_ > 0) name_ = ReadDisplay(pipe_fds[0]);
  ::close(pipe_fds[0]);
}

XvfbDisplay::~XvfbDisplay() { StopChild(pid_, 3000); }

// GDK_BACKEND too: a WAYLAND_DISPLAY inherited from a desktop would win over DISPLAY.
ProgramEnvironment XvfbDisplay::Environment() const {
  return {{"DISPLAY", name_}, {"GDK_BACKEND", "x11"}};
}

MediumCopy::MediumCopy() {
  root_ = MakeTempDir("quenlo-ui-medium-") + "/";
  const fs::path built = fs::path(QUENLO_BUILD_DIR) / "medium";
  fs::copy(built, root_, fs::copy_options::recursive);
}

MediumCopy::~MediumCopy() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

void MediumCopy::SetConfigLine(const std::string& key, const std::string& value) const {
  const std::string path = root_ + "HTML/Config.ini";
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string config = text.str();
  size_t at = config.find("\n" + key + "=");
  if (at == std::string::npos) return;
  size_t end = config.find('\n', at + 1);
  config.replace(at + 1, end - at - 1, key + "=" + value);
  std::ofstream(path, std::ios::trunc) << config;
}

UiSession::UiSession(const std::string& medium_root, const std::string& display,
                     const Environment& environment) {
  Start(medium_root, {{"DISPLAY", display}}, environment);
}

UiSession::UiSession(const std::string& medium_root, const TestDisplay& display,
                     const Environment& environment, const std::string& stderr_path) {
  Start(medium_root, display.Environment(), environment, stderr_path);
}

void UiSession::Start(const std::string& medium_root, const Environment& display,
                      const Environment& environment, const std::string& stderr_path) {
  dir_ = MakeTempDir("quenlo-ui-");
  socket_path_ = dir_ + "/automation.sock";
  const std::string program = medium_root + "bin/quenlo-setup";
  pid_ = ::fork();
  if (pid_ == 0) {
    // Only the test's display server, never one of the desktop the test runs in.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "GDK_BACKEND"}) ::unsetenv(name);
    for (const auto& [name, value] : display) ::setenv(name.c_str(), value.c_str(), 1);
    ::setenv("QUENLO_AUTOMATION", socket_path_.c_str(), 1);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");  // a silent bus would hang gtk_init
    ::setenv("GTK_A11Y", "none", 1);
    ::setenv("NO_AT_BRIDGE", "1", 1);
    // The live sound goes to a test's own sound server, or nowhere: never to
    // one of this machine's.
    ::setenv("PULSE_SERVER", ::getenv("PULSE_SERVER") ?: "unix:/nonexistent/quenlo-no-sound", 1);
    for (const auto& [name, value] : environment) {
      if (value.empty())
        ::unsetenv(name.c_str());
      else
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    if (!stderr_path.empty()) {
      const int log = ::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      if (log >= 0) ::dup2(log, 2);
    }
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  Connect();
}

// The old image closes its descriptors one by one: the connection may go
// before the listening socket, which can still take a connection that then
// fails. Only a connection that answers counts.
bool UiSession::Reconnect() {
  for (int waited = 0; waited < 10000 && Request({{"cmd", "page"}}).value("ok", false);
       waited += 50) {
    SleepMs(50);  // the old image still answers
  }
  for (int tries = 0; tries < 100; ++tries) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    buffer_.clear();
    Connect();
    if (Request({{"cmd", "page"}}).value("ok", false)) return true;
    SleepMs(50);
  }
  return false;
}

void UiSession::Connect() {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, socket_path_.c_str(), sizeof(addr.sun_path) - 1);
  for (int tries = 0; tries < 300 && pid_ > 0; ++tries) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
      fd_ = fd;
      return;
    }
    ::close(fd);
    SleepMs(50);
  }
}

UiSession::~UiSession() {
  if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (fd_ >= 0) Request({{"cmd", "quit"}});
    if (WaitForExit(5000) == -1) StopChild(pid_, 2000);
  }
  if (fd_ >= 0) ::close(fd_);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

nlohmann::json UiSession::Request(const nlohmann::json& request) {
  const nlohmann::json io_error = {{"ok", false}, {"error", "io"}};
  if (fd_ < 0) return io_error;
  std::string line = request.dump() + "\n";
  if (::send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
    return io_error;
  }
  size_t nl;
  while ((nl = buffer_.find('\n')) == std::string::npos) {
    pollfd p{fd_, POLLIN, 0};
    char chunk[4096];
    if (::poll(&p, 1, 30000) <= 0) return io_error;
    ssize_t n = ::recv(fd_, chunk, sizeof(chunk), 0);
    if (n <= 0) return io_error;
    buffer_.append(chunk, static_cast<size_t>(n));
  }
  std::string reply = buffer_.substr(0, nl);
  buffer_.erase(0, nl + 1);
  nlohmann::json parsed = nlohmann::json::parse(reply, nullptr, false);
  return parsed.is_discarded() ? io_error : parsed;
}

std::string UiSession::PageName() {
  nlohmann::json reply = Request({{"cmd", "page"}});
  std::string page = reply.value("page", "");
  return page.substr(page.rfind('/') + 1);
}

bool UiSession::WaitForPage(const std::string& file_name, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    nlohmann::json reply = Request({{"cmd", "page"}});
    std::string page = reply.value("page", "");
    // Page names are matched without regard to case, as the wizard matches them.
    if (reply.value("complete", false) &&
        strcasecmp(page.substr(page.rfind('/') + 1).c_str(), file_name.c_str()) == 0) {
      return true;
    }
    SleepMs(50);
  }
  return false;
}

bool UiSession::WaitForScript(const std::string& js, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    nlohmann::json reply = Request({{"cmd", "eval"}, {"js", js}});
    if (reply.value("ok", false) && reply["result"] == true) return true;
    SleepMs(50);
  }
  return false;
}

bool UiSession::WaitForLive(int frames, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    if (Request({{"cmd", "live"}}).value("frames", -1) >= frames) return true;
    SleepMs(50);
  }
  return false;
}

bool UiSession::ClickTo(const std::string& id, const std::string& file_name) {
  return Request({{"cmd", "click"}, {"id", id}}).value("ok", false) && WaitForPage(file_name);
}

bool UiSession::LoadByScript(const std::string& html_folder, const std::string& file_name) {
  const std::string url = "file://" + html_folder + file_name;
  Request({{"cmd", "eval"},
           {"js", "window.quenloOldDocument = true; window.location.href = " +
                      nlohmann::json(url).dump() + "; true"}});
  return WaitForScript("window.quenloOldDocument === undefined") && WaitForPage(file_name);
}

int UiSession::WaitForExit(int timeout_ms) {
  for (int waited = 0; pid_ > 0 && waited < timeout_ms; waited += 20) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    SleepMs(20);
  }
  return -1;
}
