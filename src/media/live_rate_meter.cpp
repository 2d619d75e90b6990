#include "media/live_rate_meter.h"

#include <algorithm>
#include <vector>

void LiveRateMeter::AddPaint(TimePoint painted, TimePoint arrival) {
  paints_.push_back({painted, arrival});
  DropBefore(painted);
}

// A paint exactly one second old no longer counts: a steady 15 frames/s
// reads 15, not 16.
void LiveRateMeter::DropBefore(TimePoint now) {
  while (!paints_.empty() && paints_.front().painted <= now - kWindow) paints_.pop_front();
}

LiveRateMeter::Figures LiveRateMeter::Read(TimePoint now) {
  DropBefore(now);
  Figures figures;
  figures.frames_per_second = static_cast<int>(paints_.size());
  std::vector<double> latencies;
  for (const Paint& p : paints_) {
    // A paint before its arrival is a clock the meter can't trust; dropped.
    if (p.arrival == TimePoint{} || p.painted < p.arrival) continue;
    latencies.push_back(std::chrono::duration<double, std::milli>(p.painted - p.arrival).count());
  }
  if (latencies.empty()) return figures;
  std::sort(latencies.begin(), latencies.end());
  const size_t mid = latencies.size() / 2;
  figures.median_latency_ms =
      latencies.size() % 2 == 1 ? latencies[mid] : (latencies[mid - 1] + latencies[mid]) / 2;
  return figures;
}
