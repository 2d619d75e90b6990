#include "media/live_target_fan_out.h"

void LiveTargetFanOut::Attach(ILiveTarget* second) {
  std::lock_guard<std::mutex> lock(mu_);
  if (second_ && second_ready_) second_->ReleaseSurface();
  second_ = second;
  second_ready_ = false;
}

void LiveTargetFanOut::Detach() { Attach(nullptr); }

bool LiveTargetFanOut::IsVisible() const {
  if (main_ && main_->IsVisible()) return true;
  std::lock_guard<std::mutex> lock(mu_);
  return second_ && second_->IsVisible();
}

// The second target gets its surface with its first picture: it may be
// attached after this.
bool LiveTargetFanOut::CreateSurface(int width, int height) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (second_ && second_ready_) second_->ReleaseSurface();
    second_ready_ = false;
    width_ = width;
    height_ = height;
  }
  return main_ ? main_->CreateSurface(width, height) : true;
}

void LiveTargetFanOut::ReleaseSurface() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (second_ && second_ready_) second_->ReleaseSurface();
    second_ready_ = false;
    width_ = height_ = 0;
  }
  if (main_) main_->ReleaseSurface();
}

bool LiveTargetFanOut::DrawPicture(const BitmapInfo& info, const uint8_t* pixels) {
  return DrawArrivedPicture(info, pixels, {});
}

// True when either target will draw it.
bool LiveTargetFanOut::DrawArrivedPicture(const BitmapInfo& info, const uint8_t* pixels,
                                          std::chrono::steady_clock::time_point arrival) {
  bool drawn = main_ && main_->IsVisible() && main_->DrawArrivedPicture(info, pixels, arrival);
  std::lock_guard<std::mutex> lock(mu_);
  if (!second_ || width_ == 0 || !second_->IsVisible()) return drawn;
  if (!second_ready_) second_ready_ = second_->CreateSurface(width_, height_);
  if (second_ready_) drawn = second_->DrawArrivedPicture(info, pixels, arrival) || drawn;
  return drawn;
}

PictureSize LiveTargetFanOut::PictureArea() const {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (second_) return {0, 0};
  }
  return main_ ? main_->PictureArea() : PictureSize{0, 0};
}
