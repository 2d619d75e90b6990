// NSocket on POSIX sockets. The socket library needs no start-up or release
// here, so the constructor and destructor only manage the connection.

#include <fcntl.h>
#include <netdb.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
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

// -1 on failure, else how many of the read and write sets reported the
// socket within the wait: 0 (time-out), 1 (connected) or 2 (failed: a refused
// connection shows up as both readable and writable).
int ConnectWithTimeout(int fd, const sockaddr* address, socklen_t length) {
  if (!SetBlocking(fd, false)) return -1;
  if (connect(fd, address, length) != 0 && errno != EINPROGRESS) return -1;
  fd_set reads, writes;
  FD_ZERO(&reads);
  FD_ZERO(&writes);
  FD_SET(fd, &reads);
  FD_SET(fd, &writes);
  timeval wait{kConnectWaitSeconds, 0};
  int count;
  do {
    count = select(fd + 1, &reads, &writes, nullptr, &wait);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return -1;
  if (!SetBlocking(fd, true)) return -1;
  if (count == 1) {
    // One readiness indication with a pending error is a failed attempt too.
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return 2;
  }
  return count;
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
    const int r = ConnectWithTimeout(socket_, a->ai_addr, a->ai_addrlen);
    if (r < 0) break;  // the socket stays; the next Connect or the destructor closes it
    if (r == 1) {
      connected = true;
      break;
    }
    CloseWithoutShutdown();
  }
  freeaddrinfo(list);
  return connected;
}

int NSocket::Send(const void* data, int size) {
  if (socket_ == -1 || size < 0) return -1;
  const ssize_t n = send(socket_, data, static_cast<size_t>(size), MSG_NOSIGNAL);
  return n < 0 ? -1 : static_cast<int>(n);
}

int NSocket::Receive(void* data, int size) {
  if (socket_ == -1 || size <= 0) {
    errno = socket_ == -1 ? ENOTCONN : EINVAL;
    return -1;
  }
  ssize_t n;
  do {
    n = recv(socket_, data, static_cast<size_t>(size), 0);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int>(n);
}

bool NSocket::SetReceiveTimeout(int milliseconds) {
  if (socket_ == -1) return false;
  timeval t{milliseconds / 1000, (milliseconds % 1000) * 1000};
  return setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t) == 0;
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
