// NSocket on POSIX sockets. The socket library needs no start-up or release
// here, so the constructor and destructor only manage the connection.

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "net/socket.h"

namespace {

constexpr int kConnectWaitSeconds = 3;

// The resolved addresses of `host`, or null. A host that starts with a digit
// is taken as a numeric address only and never goes to a name service.
addrinfo* Resolve(const char* host, const char* service) {
  addrinfo hints{};
  hints.ai_family = 0;  // any address family
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = 0;
  if (host && host[0] >= '0' && host[0] <= '9') hints.ai_flags = AI_NUMERICHOST;
  addrinfo* list = nullptr;
  if (getaddrinfo(host, service, &hints, &list) != 0) return nullptr;
  return list;
}

bool SetBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  return fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}

// Waits up to `timeout_ms` (-1: without bound) for `events` on `fd` while
// watching the wake-up descriptor `wake_fd` (-1: none). 1 when `fd` is ready
// (its events in `revents`); 0 on time-out (errno EAGAIN); -1 when woken
// (errno ECANCELED) or when poll fails.
int PollWithWake(int fd, short events, int wake_fd, int timeout_ms, short* revents) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd p[2] = {{fd, events, 0}, {wake_fd, POLLIN, 0}};
  const nfds_t count = wake_fd >= 0 ? 2 : 1;
  for (;;) {
    int wait = -1;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    const int n = poll(p, count, wait);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (count == 2 && p[1].revents != 0) {
      errno = ECANCELED;
      return -1;
    }
    if (n == 0) {
      errno = EAGAIN;
      return 0;
    }
    *revents = p[0].revents;
    return 1;
  }
}

}  // namespace

NSocket::NSocket() = default;

NSocket::~NSocket() { ShutdownAndClose(); }

void NSocket::CloseWithoutShutdown() {
  if (socket_ != -1) close(socket_);
  socket_ = -1;
}

void NSocket::ShutdownAndClose() {
  if (socket_ == -1) return;
  shutdown(socket_, SHUT_RDWR);
  CloseWithoutShutdown();
}

bool NSocket::Connect(const char* host, uint16_t port) {
  CloseWithoutShutdown();
  broken_ = false;
  receive_timeout_ms_ = -1;
  char service[6];
  std::snprintf(service, sizeof service, "%u", static_cast<unsigned>(port));
  addrinfo* list = Resolve(host, service);
  if (!list) return false;
  bool connected = false;
  for (addrinfo* a = list; a; a = a->ai_next) {
    family_ = a->ai_family;
    type_ = 1;
    socket_ = socket(a->ai_family, SOCK_STREAM | SOCK_CLOEXEC, protocol_);
    if (socket_ < 0) {
      socket_ = -1;
      continue;
    }
    const int r = ConnectTo(a->ai_addr, a->ai_addrlen);
    if (r < 0) break;  // the socket stays; the next Connect or the destructor closes it
    if (r == 1) {
      connected = true;
      break;
    }
    CloseWithoutShutdown();
  }
  const int error = errno;
  freeaddrinfo(list);
  errno = error;
  return connected;
}

bool NSocket::Adopt(int fd) {
  if (fd < 0) return false;
  CloseWithoutShutdown();
  socket_ = fd;
  family_ = 0;
  type_ = 1;
  broken_ = false;
  receive_timeout_ms_ = -1;
  return true;
}

int NSocket::Send(const void* data, int size) {
  if (socket_ == -1 || size < 0) return -1;
  const auto* bytes = static_cast<const char*>(data);
  for (int sent = 0; sent < size;) {
    short revents = 0;
    if (Wait(POLLOUT, -1, &revents) <= 0) return -1;
    const ssize_t n =
        send(socket_, bytes + sent, static_cast<size_t>(size - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return -1;
    sent += static_cast<int>(n);
  }
  return size;
}

int NSocket::Receive(void* data, int size) {
  if (socket_ == -1 || size <= 0) {
    errno = socket_ == -1 ? ENOTCONN : EINVAL;
    return -1;
  }
  for (;;) {
    short revents = 0;
    if (Wait(POLLIN, receive_timeout_ms_, &revents) <= 0) return -1;
    const ssize_t n = recv(socket_, data, static_cast<size_t>(size), MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) broken_ = true;
    return n < 0 ? -1 : static_cast<int>(n);
  }
}

bool NSocket::SetReceiveTimeout(int milliseconds) {
  if (socket_ == -1) return false;
  receive_timeout_ms_ = milliseconds;
  return true;
}

bool NSocket::SetKeepAlive(int idle_s, int interval_s, int count) {
  const int on = 1;
  return socket_ != -1 && setsockopt(socket_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
         setsockopt(socket_, IPPROTO_TCP, TCP_KEEPIDLE, &idle_s, sizeof idle_s) == 0 &&
         setsockopt(socket_, IPPROTO_TCP, TCP_KEEPINTVL, &interval_s, sizeof interval_s) == 0 &&
         setsockopt(socket_, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) == 0;
}

bool NSocket::WaitReadable(int milliseconds) {
  if (socket_ == -1) return true;  // a Receive fails at once
  short revents = 0;
  return Wait(POLLIN, milliseconds, &revents) > 0;
}

void NSocket::SetDeadline(int milliseconds) {
  has_deadline_ = milliseconds >= 0;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

int NSocket::Wait(short events, int timeout_ms, short* revents) const {
  int wait = timeout_ms;
  bool cut = false;
  if (has_deadline_) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now())
            .count();
    // Data already waiting does not stretch a command past its deadline.
    if (left <= 0) {
      errno = ETIMEDOUT;
      return 0;
    }
    cut = timeout_ms < 0 || left < timeout_ms;
    if (cut) wait = static_cast<int>(std::min<long long>(left, INT32_MAX));
  }
  const int ready = PollWithWake(socket_, events, wake_fd_, wait, revents);
  if (ready == 0 && cut) errno = ETIMEDOUT;
  return ready;
}

int NSocket::ConnectTo(const sockaddr* address, unsigned length) const {
  if (!SetBlocking(socket_, false)) return -1;
  if (connect(socket_, address, length) != 0 && errno != EINPROGRESS) return -1;
  short revents = 0;
  const int ready = Wait(POLLOUT, kConnectWaitSeconds * 1000, &revents);
  if (ready <= 0) return ready;
  if (!SetBlocking(socket_, true)) return -1;
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return 2;
  if (error != 0) {
    errno = error;  // LastError tells a refusal from a time-out
    return 2;
  }
  return 1;
}

int NSocket::LastError() { return errno; }

void NSocket::ErrorText(int code, char* text, size_t size) {
  if (size == 0) return;
  // The untranslated text: the program may run under any locale.
  const char* message = strerrordesc_np(code);
  if (message)
    std::snprintf(text, size, "%s", message);
  else
    std::snprintf(text, size, "Unknown error %d", code);
}
