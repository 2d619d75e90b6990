#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "media/bitmap_info.h"
#include "media/frame_ring.h"
#include "media/jpeg_decoder.h"
#include "media/live_target.h"
#include "thread/uthread.h"
#include "thread/uthread_message.h"

// Drawing state of the decode thread: the decoded picture and the window it
// goes to. Touched by the decode thread only while it runs.
struct DrawSurface {
  ILiveTarget* window = nullptr;
  BitmapInfo descriptor{};
  std::unique_ptr<uint8_t[]> pixels;  // kPixelBufferSize bytes, 32 bits per pixel
  int width = 0;                      // of the surface; 0 when not ready
  int height = 0;
  bool ready = false;
};

// Turns the camera's JPEG frames into pictures in the live window: takes the
// next frame from its frame ring (filled by the video thread), decodes it no
// larger than the window's picture area needs and hands the picture to the
// window, which fits it in with its aspect kept. Owned, started and stopped
// by the video thread. It decodes the newest frame only: frames that arrive
// while one is decoded are passed over, so a stream of frames that are slow
// or impossible to decode costs one decode at a time and no backlog. A stop
// ends a decode in progress. Frames it could not decode are counted and
// reported on standard error at most once a minute.
// Threads: the constructor, SetTargetWindow and the destructor run while the
// thread does not; Run and OnEnd run on the decode thread; ring() is shared
// with the video thread under the ring's own lock.
class NTavoDecodeAndDrawThread : public UThread, public UThreadMessage {
 public:
  static constexpr size_t kPixelBufferSize = 12582912;  // 2048 x 1536 x 4
  static constexpr uint32_t kFrameBufferSize = 319488;
  static constexpr uint32_t kFrameRingSize = 3145728;
  // Longest wait for the next frame: Stop and StreamLost end it early.
  static constexpr int kFrameWaitMs = 1000;
  // Pause between passes that can take no frame (no frame buffer).
  static constexpr int kNoBufferPauseMs = 15;

  NTavoDecodeAndDrawThread();
  ~NTavoDecodeAndDrawThread() override;

  void SetTargetWindow(ILiveTarget* window) { target_window_ = window; }
  // Any thread: the pictures stopped coming; the surface is given back at
  // once, so the window no longer shows the last one.
  void StreamLost();
  // Also end the wait for a frame.
  void Stop() override;
  void RequestStop() override;
  UFrameRing& ring() { return frame_ring_; }
  // The limits a picture is decoded within (JpegDecodeControl); only while
  // the thread does not run.
  void SetDecodeLimits(int max_scans, uint64_t max_work);

  // One pass of the loop: decodes and draws the next frame, if there is one.
  void DecodeAndDrawOnce();
  // Prepares the window for pictures of `width` x `height`: true when ready.
  bool CreateSurface(int width, int height);
  void ReleaseSurface();
  // Hands the decoded picture to the window: true when it will be drawn.
  bool DrawFrame();
  const DrawSurface& surface() const { return surface_; }

 protected:
  int OnStart() override;
  int Run() override;
  int OnEnd() override;

 private:
  ILiveTarget* target_window_ = nullptr;
  DrawSurface surface_;
  UFrameRing frame_ring_;
  std::unique_ptr<uint8_t[]> frame_buffer_;  // kFrameBufferSize bytes
  uint32_t frame_length_ = 0;
  std::chrono::steady_clock::time_point frame_arrival_{};  // of the frame in frame_buffer_
  uint32_t wanted_sequence_ = 0;
  std::atomic<bool> stream_lost_{false};
  JpegTroubleCount trouble_;
  JpegDecodeControl decode_control_;  // stops with this thread, counts into trouble_
};
