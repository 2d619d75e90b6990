// A descriptor of the discovery side's own sockets, closed on every way out.
#pragma once

#include <unistd.h>

class SocketGuard {
 public:
  explicit SocketGuard(int fd) : fd_(fd) {}
  ~SocketGuard() {
    if (fd_ >= 0) close(fd_);
  }
  SocketGuard(const SocketGuard&) = delete;
  SocketGuard& operator=(const SocketGuard&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};
