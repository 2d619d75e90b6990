#include "app/live_view.h"

#include "app/text_convert.h"
#include "net/wipe.h"

namespace {

// Each byte becomes one wide character, as the camera's 8-bit texts do.
std::wstring WidenBytes(const std::string& bytes) {
  std::wstring wide;
  for (unsigned char c : bytes) wide.push_back(static_cast<wchar_t>(c));
  return wide;
}

}  // namespace

void LiveView::Adopt(std::unique_ptr<NTavoVideoThread> video,
                     std::unique_ptr<NTavoAudioThread> audio, Clock& clock, ILiveTarget* target) {
  video_ = std::move(video);
  audio_ = std::move(audio);
  video_->SetClock(clock);
  audio_->SetClock(clock);
  video_->SetLiveWindow(target);
}

bool LiveView::Start(const CameraRecord& camera, const std::string& password) {
  const std::wstring host = WidenBytes(DottedAddress(RecordIpAddress(camera)));
  std::string narrow = Utf8ToLatin1(password);
  std::wstring wide = WidenBytes(narrow);
  WipeText(narrow);
  bool started = false;
  for (NTavoStreamThread* worker : {static_cast<NTavoStreamThread*>(video_.get()),
                                    static_cast<NTavoStreamThread*>(audio_.get())}) {
    if (!worker || worker->IsRunning()) continue;
    worker->SetCamera(host.c_str(), RecordHttpPort(camera), wide.c_str());
    started = worker->Start() || started;
  }
  WipeText(wide);
  return started;
}

void LiveView::Stop() {
  if (video_) video_->Stop();
  if (audio_) audio_->Stop();
  if (video_) video_->Join();
  if (audio_) audio_->Join();
}

void LiveView::Release() {
  Stop();
  video_.reset();
  audio_.reset();
}

void LiveView::SetMuted(bool muted) {
  if (audio_) audio_->SetMuted(muted);
}
