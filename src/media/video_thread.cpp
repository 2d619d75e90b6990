#include "media/video_thread.h"

#include <chrono>
#include <new>

NTavoVideoThread::NTavoVideoThread()
    : NTavoStreamThread("Video Thread"), decoder_(new (std::nothrow) NTavoDecodeAndDrawThread) {}

// The decoder is stopped by OnEnd; the base class's destructor would wait too
// late, after the decoder is gone.
NTavoVideoThread::~NTavoVideoThread() {
  Stop();
  WaitForEnd();
}

void NTavoVideoThread::SetLiveWindow(ILiveTarget* window) {
  live_window_ = window;
  if (decoder_) decoder_->SetTargetWindow(window);
}

int NTavoVideoThread::OnStart() {
  NTavoStreamThread::OnStart();
  if (decoder_) decoder_->Start();
  return 0;
}

int NTavoVideoThread::OnEnd() {
  if (decoder_) {
    decoder_->Stop();
    decoder_->WaitForEnd();
  }
  return 0;
}

bool NTavoVideoThread::OpenStream() { return camera().OpenVideoStream(); }

// The 28-byte media header stays behind: the decoder gets the JPEG image. A
// frame the ring does not take is dropped.
void NTavoVideoThread::OnPart(const NTavoMediaSample& sample) {
  if (!decoder_ || sample.GetPayloadLength() <= 0) return;
  decoder_->ring().Put(sample.GetPayload(), static_cast<uint32_t>(sample.GetPayloadLength()),
                       std::chrono::steady_clock::now());
}

// The last picture would stay as if it were live: the window goes back to
// black (and says it is connecting) until pictures come again.
void NTavoVideoThread::OnStreamLost() {
  if (decoder_) decoder_->StreamLost();
}
