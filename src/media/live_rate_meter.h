// What a live viewer tells about its stream: pictures painted per second and
// how long a picture took from its part's arrival to its paint.
#pragma once

#include <chrono>
#include <deque>

// Keeps the paints of the last second and reads figures from them. Fed and
// read by one thread (the viewer's UI thread); no lock.
class LiveRateMeter {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  static constexpr std::chrono::seconds kWindow{1};

  struct Figures {
    int frames_per_second = 0;  // paints within the last second
    // Median latency of those paints that know their arrival, in
    // milliseconds; -1 when none does.
    double median_latency_ms = -1;
  };

  // A picture painted at `painted` whose part arrived at `arrival` (the epoch
  // when not known). Paints come in time order.
  void AddPaint(TimePoint painted, TimePoint arrival);
  // The figures of the second up to `now`; older paints are forgotten.
  Figures Read(TimePoint now);

 private:
  struct Paint {
    TimePoint painted;
    TimePoint arrival;
  };
  void DropBefore(TimePoint now);

  std::deque<Paint> paints_;
};
