#include "media/decode_draw_thread.h"

#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "media/jpeg_decoder.h"

NTavoDecodeAndDrawThread::NTavoDecodeAndDrawThread() : UThread("decode") {
  static_assert(kFrameBufferSize == UFrameRing::kGetCapacity);
  surface_.pixels.reset(new (std::nothrow) uint8_t[kPixelBufferSize]);
  frame_buffer_.reset(new (std::nothrow) uint8_t[kFrameBufferSize]);
  frame_ring_.Init(kFrameRingSize);
}

// The owner stops and waits first; this only covers an owner that did not.
NTavoDecodeAndDrawThread::~NTavoDecodeAndDrawThread() {
  Stop();
  WaitForEnd(-1);
  ReleaseSurface();
}

int NTavoDecodeAndDrawThread::OnStart() { return StartMessageQueue(*this); }

int NTavoDecodeAndDrawThread::Run() {
  ReleaseSurface();
  surface_.window = target_window_;
  const auto pass = std::chrono::milliseconds(kFrameWaitMs);
  while (!IsStopRequested()) {
    if (stream_lost_.exchange(false)) ReleaseSurface();
    // Waits for the video thread's next frame, at most one pass long, so
    // that a frame is drawn as soon as it is stored.
    if (!frame_buffer_) {
      std::this_thread::sleep_for(pass);  // nothing can be taken from the ring
    } else if (frame_ring_.WaitForFrame(wanted_sequence_, pass)) {
      DecodeAndDrawOnce();
    }
  }
  return 0;
}

int NTavoDecodeAndDrawThread::OnEnd() {
  ReleaseSurface();
  return 0;
}

void NTavoDecodeAndDrawThread::DecodeAndDrawOnce() {
  if (!frame_buffer_ || frame_ring_.Get(&wanted_sequence_, frame_buffer_.get(), &frame_length_,
                                        &frame_arrival_) != 0) {
    return;
  }
  if (!surface_.pixels) return;
  BitmapInfo& d = surface_.descriptor;
  if (DecodeJpeg(frame_buffer_.get(), frame_length_, &d, surface_.pixels.get(), kPixelBufferSize) !=
      0) {
    return;  // skipped; the window keeps the previous picture
  }
  // A picture of another size gets a surface of its own size: drawn through
  // the old one it would come out cut or smeared.
  if (surface_.ready &&
      (d.header.width != surface_.width || std::abs(d.header.height) != surface_.height)) {
    ReleaseSurface();
  }
  if (!surface_.ready) CreateSurface(d.header.width, std::abs(d.header.height));
  DrawFrame();
}

bool NTavoDecodeAndDrawThread::CreateSurface(int width, int height) {
  DrawSurface& s = surface_;
  if (!s.window || !s.pixels || width <= 0 || height <= 0 ||
      static_cast<uint64_t>(width) * height * 3 > kPixelBufferSize ||
      !s.window->CreateSurface(width, height)) {
    s.width = s.height = 0;
    s.ready = false;
    return false;
  }
  // The pixel buffer is not cleared: it already holds the picture that asked
  // for this surface.
  s.width = width;
  s.height = height;
  s.ready = true;
  return true;
}

void NTavoDecodeAndDrawThread::ReleaseSurface() {
  DrawSurface& s = surface_;
  if (!s.ready) return;
  s.width = s.height = 0;
  s.window->ReleaseSurface();
  s.ready = false;
}

bool NTavoDecodeAndDrawThread::DrawFrame() {
  const DrawSurface& s = surface_;
  if (!s.window || !s.pixels || s.width == 0 || s.height == 0 || !s.window->IsVisible())
    return false;
  if (s.descriptor.header.bitCount != 24) return false;  // CMYK pictures are not drawn
  return s.window->DrawArrivedPicture(s.descriptor, s.pixels.get(), frame_arrival_);
}
