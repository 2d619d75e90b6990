#include "media/live_rate_meter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using std::chrono::milliseconds;
using TimePoint = LiveRateMeter::TimePoint;

// Paints given as (painted, latency) in ms from a start; latency -1: the
// arrival is not known. Read at `now`.
TEST(LiveRateMeter, CountsTheLastSecondAndTakesTheMedianLatency) {
  struct Paint {
    int at_ms, latency_ms;
  };
  struct Case {
    const char* what;
    std::vector<Paint> paints;
    int now_ms;
    int fps;
    double median_ms;
  } cases[] = {
      {"nothing painted", {}, 1000, 0, -1},
      {"odd count", {{100, 30}, {200, 10}, {300, 20}}, 500, 3, 20},
      {"even count averages the middle two",
       {{100, 10}, {200, 40}, {300, 20}, {400, 30}},
       500,
       4,
       25},
      {"a paint one second old no longer counts", {{0, 500}, {500, 10}, {999, 20}}, 1000, 2, 15},
      {"unknown arrivals count as frames only", {{100, -1}, {200, 40}, {300, -1}}, 400, 3, 40},
      {"no arrival known", {{100, -1}}, 200, 1, -1},
      {"all too old", {{0, 10}, {100, 10}}, 5000, 0, -1},
  };
  const TimePoint start{std::chrono::seconds(50)};
  for (const Case& c : cases) {
    LiveRateMeter meter;
    for (const Paint& p : c.paints) {
      const TimePoint painted = start + milliseconds(p.at_ms);
      meter.AddPaint(painted,
                     p.latency_ms < 0 ? TimePoint{} : painted - milliseconds(p.latency_ms));
    }
    const LiveRateMeter::Figures f = meter.Read(start + milliseconds(c.now_ms));
    EXPECT_EQ(f.frames_per_second, c.fps) << c.what;
    EXPECT_DOUBLE_EQ(f.median_latency_ms, c.median_ms) << c.what;
  }
}

}  // namespace
