// The finish page's live picture and sound: the video and audio workers,
// started with the chosen camera and stopped when the page is left.
#pragma once

#include <memory>
#include <string>

#include "discovery/discovery_wire.h"
#include "media/audio_thread.h"
#include "media/video_thread.h"

// Threads: every method on the UI thread; the workers draw and play on
// their own threads.
class LiveView {
 public:
  LiveView() = default;
  ~LiveView() { Stop(); }
  LiveView(const LiveView&) = delete;
  LiveView& operator=(const LiveView&) = delete;

  // Takes the workers of the start-up; the video worker draws into `target`.
  void Adopt(std::unique_ptr<NTavoVideoThread> video, std::unique_ptr<NTavoAudioThread> audio,
             Clock& clock, ILiveTarget* target);
  // Gives the camera and `password` (UTF-8) to each worker that is not
  // running and starts it; a worker still running keeps its camera. True
  // when one started.
  bool Start(const CameraRecord& camera, const std::string& password);
  // Stops both workers and waits until neither runs: their reads end at
  // once when stopped, and so does a picture being decoded (the video
  // thread joins its decoder, which gives up the picture at its next row of
  // blocks).
  void Stop();
  // Stops and deletes the workers.
  void Release();

  // The live sound is played as silence while muted; it starts unmuted.
  void SetMuted(bool muted);
  bool IsMuted() const { return audio_ && audio_->IsMuted(); }

  NTavoVideoThread* video() const { return video_.get(); }
  NTavoAudioThread* audio() const { return audio_.get(); }

 private:
  std::unique_ptr<NTavoVideoThread> video_;
  std::unique_ptr<NTavoAudioThread> audio_;
};
