// One decode thread drawing into two live windows: the small picture, always,
// and a large viewer while it is open.
#pragma once

#include <chrono>
#include <mutex>

#include "media/live_target.h"

// Forwards every picture to the main target and, while one is attached, to
// a second one. A second target attached mid-stream gets its surface at the
// size of the pictures in flight before its first picture.
// Threads: the ILiveTarget methods on the decode thread; Attach and Detach
// on the UI thread. mu_ guards the second target and its state, and is held
// while it is called: once Detach returns, the decode thread no longer uses
// it.
class LiveTargetFanOut : public ILiveTarget {
 public:
  // `main` (may be null) outlives this object.
  explicit LiveTargetFanOut(ILiveTarget* main) : main_(main) {}

  // `second` gets the pictures from the next one on, until Detach.
  void Attach(ILiveTarget* second);
  // Gives the second target's surface back, then forgets it.
  void Detach();

  // ILiveTarget. Visible while either target is.
  bool IsVisible() const override;
  bool CreateSurface(int width, int height) override;
  void ReleaseSurface() override;
  bool DrawPicture(const BitmapInfo& info, const uint8_t* pixels) override;
  bool DrawArrivedPicture(const BitmapInfo& info, const uint8_t* pixels,
                          std::chrono::steady_clock::time_point arrival) override;
  // The main target's area; pictures at their own size while a second
  // target is attached (the viewer shows them whole).
  PictureSize PictureArea() const override;

 private:
  ILiveTarget* const main_;
  mutable std::mutex mu_;
  ILiveTarget* second_ = nullptr;  // guarded by mu_
  bool second_ready_ = false;      // guarded by mu_: its surface is made
  int width_ = 0, height_ = 0;     // guarded by mu_: the surface size; 0 without one
};
