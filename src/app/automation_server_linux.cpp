#include "app/automation_server_linux.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

#include "app/automation_request.h"

namespace {

// Waits up to one poll period for input; false on timeout.
bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, UThread::kPollMs) > 0;
}

bool SendAll(int fd, const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

// Makes room for the socket at `addr`: only a socket that nobody accepts on
// any more goes.
bool ClearStaleSocket(const sockaddr_un& addr, std::string* error) {
  struct stat st;
  if (::lstat(addr.sun_path, &st) != 0) return true;  // nothing there, or bind will say why
  if (!S_ISSOCK(st.st_mode)) return Fail(error, "the path exists and is not a socket");
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return Fail(error, std::strerror(errno));
  const int connected = ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
  const int connect_error = errno;
  ::close(probe);
  if (connected == 0) return Fail(error, "another program listens on the socket");
  if (connect_error != ECONNREFUSED) return Fail(error, std::strerror(connect_error));
  if (::unlink(addr.sun_path) != 0) return Fail(error, std::strerror(errno));
  return true;
}

}  // namespace

AutomationServer::AutomationServer(std::string path, Dispatch dispatch)
    : UThread("Automation"), path_(std::move(path)), dispatch_(std::move(dispatch)) {}

AutomationServer::~AutomationServer() {
  Stop();
  WaitForEnd();
  if (listen_fd_ >= 0) {
    ::close(listen_fd_);
    ::unlink(path_.c_str());
  }
}

bool AutomationServer::Listen(std::string* error) {
  sockaddr_un addr{};
  if (path_.size() >= sizeof(addr.sun_path)) {
    return Fail(error, "the path is too long for a socket");
  }
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
  if (!ClearStaleSocket(addr, error)) return false;
  listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) return Fail(error, std::strerror(errno));
  mode_t old_mask = ::umask(0177);  // the socket file is born 0600
  int bound = ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  ::umask(old_mask);
  if (bound != 0 || ::chmod(path_.c_str(), 0600) != 0 || ::listen(listen_fd_, 4) != 0) {
    const int failure = errno;
    ::close(listen_fd_);
    listen_fd_ = -1;
    return Fail(error, std::strerror(failure));
  }
  return true;
}

int AutomationServer::Run() {
  while (!IsStopRequested()) {
    if (!Readable(listen_fd_)) continue;
    int client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Serve(client);
    ::close(client);
  }
  return 0;
}

void AutomationServer::Serve(int client) {
  std::string buffer;
  bool skipping = false;
  char chunk[4096];
  while (!IsStopRequested()) {
    if (!Readable(client)) continue;
    ssize_t n = ::recv(client, chunk, sizeof(chunk), 0);
    if (n <= 0) return;
    buffer.append(chunk, static_cast<size_t>(n));
    for (size_t nl; (nl = buffer.find('\n')) != std::string::npos;) {
      std::string line = buffer.substr(0, nl);
      buffer.erase(0, nl + 1);
      if (skipping) {  // the end of a line too long to take
        skipping = false;
        continue;
      }
      if (!line.empty() && !Answer(client, line)) return;
    }
    // A line that never ends is not kept whole: it is answered at once and
    // the rest of it is dropped up to its end.
    if (buffer.size() > kMaxAutomationLine) {
      if (!skipping && !SendAll(client, AutomationErrorReply("request too long") + "\n")) return;
      skipping = true;
      buffer.clear();
    }
  }
}

// Hands one request over and waits for its reply; gives up when asked to
// stop, since the UI thread may already have left its loop.
bool AutomationServer::Answer(int client, const std::string& line) {
  struct Pending {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;  // guarded by mutex
    std::string json;   // guarded by mutex
  };
  auto pending = std::make_shared<Pending>();
  dispatch_(line, [pending](const std::string& json) {
    std::lock_guard<std::mutex> lock(pending->mutex);
    pending->json = json;
    pending->done = true;
    pending->answered.notify_all();
  });
  std::unique_lock<std::mutex> lock(pending->mutex);
  while (!pending->done) {
    pending->answered.wait_for(lock, std::chrono::milliseconds(kPollMs));
    if (!pending->done && IsStopRequested()) return false;
  }
  return SendAll(client, pending->json + "\n");
}
