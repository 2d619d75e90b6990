// UWakeup on an eventfd: a counter that is readable while non-zero.

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>

#include "thread/wakeup.h"

UWakeup::UWakeup() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

UWakeup::~UWakeup() {
  if (fd_ >= 0) close(fd_);
}

void UWakeup::Signal() {
  const uint64_t one = 1;
  if (fd_ >= 0 && write(fd_, &one, sizeof one) < 0) {
    // Only an overflowing counter refuses, and then the signal is already up.
  }
}

void UWakeup::Clear() {
  uint64_t count;
  if (fd_ >= 0 && read(fd_, &count, sizeof count) < 0) {
    // EAGAIN: nothing was signalled.
  }
}

bool UWakeup::Sleep(int ms) const {
  if (fd_ < 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    const int n = poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    if (n > 0) return false;
    if (n == 0 || errno != EINTR) return true;
  }
}
