// A clock for tests that moves only when a wait passes: each wait advances it
// by its whole duration at once, so the flows' pauses and the 40-second wait
// take no real time. While `hold` is set, waits block for real until it is
// cleared or their wake-up is signalled: how a test keeps a job inside a pause.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "thread/clock.h"
#include "thread/wakeup.h"

class FakeClock : public Clock {
 public:
  std::atomic<bool> hold{false};

  TimePoint Now() override { return TimePoint(TimePoint::duration(now_.load())); }
  bool Sleep(std::chrono::milliseconds duration, const UWakeup* wakeup = nullptr) override {
    while (hold.load()) {
      if (Woken(wakeup)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (Woken(wakeup)) return false;
    now_ += std::chrono::duration_cast<TimePoint::duration>(duration).count();
    std::this_thread::yield();  // a loop of waits still lets other threads run
    return true;
  }
  // Moves the time forward to `when`, never back; blocks while held. False,
  // and the time unmoved, once `wakeup` (may be null) is signalled.
  bool AdvanceTo(TimePoint when, const UWakeup* wakeup = nullptr) {
    while (hold.load()) {
      if (Woken(wakeup)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (Woken(wakeup)) return false;
    auto now = now_.load();
    while (now < when.time_since_epoch().count() &&
           !now_.compare_exchange_weak(now, when.time_since_epoch().count())) {
    }
    return true;
  }

 private:
  static bool Woken(const UWakeup* wakeup) { return wakeup && !wakeup->Sleep(0); }

  std::atomic<TimePoint::rep> now_{0};
};
