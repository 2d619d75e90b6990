#pragma once

#include <cstdint>
#include <memory>

#include "media/audio_output.h"
#include "media/audio_player.h"
#include "media/stream_thread.h"

// The wave format a camera's audio format word describes: false for the
// codecs that are not played (everything but "lpcm" and "ulaw").
bool WaveFormatFromWord(uint32_t word, WaveFormat* format);

// Plays the camera's live sound: reads the audio stream part by part and
// hands the linear PCM and mu-law packets to its player.
// Threads: as NTavoStreamThread; the player is used on the stream thread
// only, but for its mute flag.
class NTavoAudioThread : public NTavoStreamThread {
 public:
  explicit NTavoAudioThread(std::unique_ptr<IAudioOutput> output = MakeDefaultAudioOutput());
  ~NTavoAudioThread() override;

  // Plays one part, by the format word in its media header.
  void PlayAudioSample(const IMediaSample& sample);
  // Any thread: plays silence instead of the sound, keeping the output open.
  void SetMuted(bool muted) { player_.SetMuted(muted); }
  bool IsMuted() const { return player_.IsMuted(); }

 protected:
  // Each live view starts with a closed output and ends by closing it.
  int OnEnd() override;
  bool OpenStream() override;
  void OnPart(const NTavoMediaSample& sample) override { PlayAudioSample(sample); }

 private:
  CAudioPlayer player_;
};
