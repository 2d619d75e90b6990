#include "thread/clock.h"

#include <thread>

#include "thread/wakeup.h"

namespace {

class MonotonicClock : public Clock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  bool Sleep(std::chrono::milliseconds duration, const UWakeup* wakeup) override {
    if (wakeup) return wakeup->Sleep(static_cast<int>(duration.count()));
    std::this_thread::sleep_for(duration);
    return true;
  }
};

}  // namespace

Clock& SystemClock() {
  static MonotonicClock clock;
  return clock;
}
