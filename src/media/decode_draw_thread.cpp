#include "media/decode_draw_thread.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

#include "media/jpeg_decoder.h"

NTavoDecodeAndDrawThread::NTavoDecodeAndDrawThread() : UThread("decode") {
  static_assert(kFrameBufferSize == UFrameRing::kGetCapacity);
  surface_.pixels.reset(new (std::nothrow) uint8_t[kPixelBufferSize]);
  frame_buffer_.reset(new (std::nothrow) uint8_t[kFrameBufferSize]);
  frame_ring_.Init(kFrameRingSize);
  decode_control_.stop = [this] { return IsStopRequested(); };
  decode_control_.trouble = &trouble_;
}

void NTavoDecodeAndDrawThread::SetDecodeLimits(int max_scans, uint64_t max_work) {
  decode_control_.max_scans = max_scans;
  decode_control_.max_work = max_work;
}

// The owner stops and waits first; this only covers an owner that did not.
NTavoDecodeAndDrawThread::~NTavoDecodeAndDrawThread() {
  Stop();
  WaitForEnd();
  ReleaseSurface();
}

void NTavoDecodeAndDrawThread::StreamLost() {
  stream_lost_.store(true);
  frame_ring_.Interrupt();
}

// The flag is set before the wait is interrupted: the woken thread sees it.
void NTavoDecodeAndDrawThread::Stop() {
  UThread::Stop();
  frame_ring_.Interrupt();
}

void NTavoDecodeAndDrawThread::RequestStop() {
  UThread::RequestStop();
  frame_ring_.Interrupt();
}

int NTavoDecodeAndDrawThread::OnStart() { return StartMessageQueue(*this); }

// Sleeps until a frame is stored or it is told otherwise: at 30 frames a
// second that is one wake-up a frame.
int NTavoDecodeAndDrawThread::Run() {
  ReleaseSurface();
  surface_.window = target_window_;
  while (!IsStopRequested()) {
    if (stream_lost_.exchange(false)) ReleaseSurface();
    if (!frame_buffer_) {
      // Nothing can be taken from the ring.
      std::this_thread::sleep_for(std::chrono::milliseconds(kNoBufferPauseMs));
    } else if (frame_ring_.WaitForFrame(wanted_sequence_,
                                        std::chrono::milliseconds(kFrameWaitMs))) {
      DecodeAndDrawOnce();
    }
    const std::string report = trouble_.TakeReport(std::chrono::steady_clock::now());
    if (!report.empty()) std::fputs(report.c_str(), stderr);
  }
  return 0;
}

int NTavoDecodeAndDrawThread::OnEnd() {
  ReleaseSurface();
  return 0;
}

void NTavoDecodeAndDrawThread::DecodeAndDrawOnce() {
  if (!frame_buffer_ || frame_ring_.GetNewest(&wanted_sequence_, frame_buffer_.get(),
                                              &frame_length_, &frame_arrival_) != 0) {
    return;
  }
  // A hidden window gets no pictures: none is decoded for it either.
  if (!surface_.pixels || !surface_.window || !surface_.window->IsVisible()) return;
  BitmapInfo& d = surface_.descriptor;
  const PictureSize area = surface_.window->PictureArea();
  if (DecodeJpegScaled(frame_buffer_.get(), frame_length_, area, &d, surface_.pixels.get(),
                       kPixelBufferSize, decode_control_) != 0) {
    return;  // skipped, or stopped; the window keeps the previous picture
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
      static_cast<uint64_t>(width) * height * 4 > kPixelBufferSize ||
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
  return s.window->DrawArrivedPicture(s.descriptor, s.pixels.get(), frame_arrival_);
}
