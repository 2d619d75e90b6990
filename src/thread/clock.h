// The time the program's waits are measured with: the system's monotonic
// clock in the program, a fake in tests whose waits pass at once, so that a
// test of the 40-second wait takes milliseconds.
#pragma once

#include <chrono>

class UWakeup;

// Any thread; implementations are thread-safe.
class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~Clock() = default;
  virtual TimePoint Now() = 0;
  // Waits `duration`, or less once `wakeup` (may be null) is signalled:
  // false when the signal ended the wait.
  virtual bool Sleep(std::chrono::milliseconds duration, const UWakeup* wakeup = nullptr) = 0;
};

// The system's monotonic clock, one for the whole process.
Clock& SystemClock();
