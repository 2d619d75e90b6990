// A signal that lets one thread end another thread's waits at once: the
// waiter polls its descriptor beside a socket, or sleeps on it.
#pragma once

// Any thread. Once Signal has been called, every wait returns early until
// Clear is called.
class UWakeup {
 public:
  UWakeup();
  ~UWakeup();
  UWakeup(const UWakeup&) = delete;
  UWakeup& operator=(const UWakeup&) = delete;

  void Signal();
  void Clear();
  // The descriptor to poll for reading; -1 when it could not be made (then
  // waits are never cut short).
  int fd() const { return fd_; }
  // Sleeps up to `ms` milliseconds: false when the signal ended the sleep.
  bool Sleep(int ms) const;

 private:
  int fd_ = -1;
};
