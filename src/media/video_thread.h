#pragma once

#include <memory>

#include "media/decode_draw_thread.h"
#include "media/live_target.h"
#include "media/stream_thread.h"

// Receives the camera's live picture: reads the MJPEG stream and stores each
// JPEG frame in the frame ring of its decode and draw thread, which it owns,
// starts with itself and stops before it ends. It never decodes anything.
// Threads: as NTavoStreamThread; SetLiveWindow before the first Start.
class NTavoVideoThread : public NTavoStreamThread {
 public:
  NTavoVideoThread();
  ~NTavoVideoThread() override;

  // The window the pictures are drawn into, for this thread and its decoder.
  void SetLiveWindow(ILiveTarget* window);
  ILiveTarget* live_window() const { return live_window_; }
  // Null when it could not be made: then parts are read and dropped.
  NTavoDecodeAndDrawThread* decoder() { return decoder_.get(); }

 protected:
  int OnStart() override;
  int OnEnd() override;
  bool OpenStream() override;
  void OnPart(const NTavoMediaSample& sample) override;
  void OnStreamLost() override;

 private:
  ILiveTarget* live_window_ = nullptr;
  std::unique_ptr<NTavoDecodeAndDrawThread> decoder_;
};
