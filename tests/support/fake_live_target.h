// A live window for tests without a display: it records what the decode
// thread asks of it. Thread-safe.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "media/live_target.h"

class FakeLiveTarget : public ILiveTarget {
 public:
  bool IsVisible() const override { return visible.load(); }
  bool CreateSurface(int width, int height) override {
    std::lock_guard<std::mutex> lock(mu);
    surfaces.push_back({width, height});
    return true;
  }
  void ReleaseSurface() override { releases.fetch_add(1); }
  bool DrawPicture(const BitmapInfo& info, const uint8_t*) override {
    std::lock_guard<std::mutex> lock(mu);
    drawn.push_back({info.header.width, std::abs(info.header.height)});  // either row order
    return true;
  }
  PictureSize PictureArea() const override { return {area_width.load(), area_height.load()}; }
  size_t Drawn() {
    std::lock_guard<std::mutex> lock(mu);
    return drawn.size();
  }
  bool WaitForDrawn(size_t count, int timeout_ms = 5000) {
    for (int waited = 0; Drawn() < count; waited += 5) {
      if (waited > timeout_ms) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  std::atomic<bool> visible{true};
  std::atomic<int> releases{0};
  std::atomic<int> area_width{0}, area_height{0};  // 0: pictures at their own size
  std::mutex mu;
  std::vector<std::pair<int, int>> surfaces, drawn;  // guarded by mu
};
