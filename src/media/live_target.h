// The window the live picture is drawn into, as the decode thread sees it.
#pragma once

#include <chrono>
#include <cstdint>

#include "media/bitmap_info.h"

// Implementations paint on their own UI thread: DrawPicture only hands the
// picture over and asks for one redraw. Every method is called on the decode
// thread; the target outlives every decode thread that uses it.
class ILiveTarget {
 public:
  virtual ~ILiveTarget() = default;
  // Whether the window is shown; a hidden window gets no pictures.
  virtual bool IsVisible() const = 0;
  // Prepares for pictures of `width` x `height`: false when it can't.
  virtual bool CreateSurface(int width, int height) = 0;
  // Gives back what CreateSurface took; the window shows black again.
  virtual void ReleaseSurface() = 0;
  // Shows the picture described by `info` (of the surface's size; 24 bits
  // per pixel, or 32 as the decode thread gives them): false when nothing
  // will be drawn.
  virtual bool DrawPicture(const BitmapInfo& info, const uint8_t* pixels) = 0;
  // The area pictures are fitted into, in device pixels: the decode thread
  // decodes them no larger than it needs. {0, 0}: at their own size.
  virtual PictureSize PictureArea() const { return {0, 0}; }
  // DrawPicture, told when the picture's part arrived (steady clock; the
  // epoch when not known), for a target that shows the latency to its paint.
  virtual bool DrawArrivedPicture(const BitmapInfo& info, const uint8_t* pixels,
                                  std::chrono::steady_clock::time_point /*arrival*/) {
    return DrawPicture(info, pixels);
  }
};
