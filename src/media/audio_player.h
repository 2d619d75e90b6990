#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "media/audio_output.h"

// Plays packets of live sound in the order they arrive: mu-law packets are
// expanded to 16-bit linear PCM, each packet is copied into one of ten
// buffers in rotation and queued on the output, which is opened again only
// when the format changes. The sound stays live: while the output still
// holds ten packets, or more than 80 ms of sound, a new packet is dropped, so
// a stall of the output or a burst from the network is caught up instead of
// delaying everything after it. While muted, packets are played as silence:
// the output stays open and keeps its latency, so the sound comes back at
// once. Used by the audio thread alone; the mute flag is atomic and may be
// set from any thread.
class CAudioPlayer {
 public:
  static constexpr int kSlots = 10;
  static constexpr int64_t kMaxQueuedUs = 80000;

  explicit CAudioPlayer(std::unique_ptr<IAudioOutput> output);
  virtual ~CAudioPlayer();
  CAudioPlayer(const CAudioPlayer&) = delete;
  CAudioPlayer& operator=(const CAudioPlayer&) = delete;

  // Plays `length` bytes of `format` (tag 1 or 7) as whole sample frames: a
  // piece of a frame at the end is dropped. Anything that fails drops the
  // packet and nothing else.
  void Play(int length, WaveFormat format, const uint8_t* data);
  // Drops what is queued and closes the output. Packets of the format it was
  // opened with (or failed to open with) stay dropped.
  void Close();
  // Closes, and lets the next packet open the output again whatever its format.
  void Reset();
  // Any thread; takes effect from the next packet.
  void SetMuted(bool muted) { muted_.store(muted); }
  bool IsMuted() const { return muted_.load(); }
  bool IsFormatChanged(const WaveFormat& format) const { return !(format == open_format_); }
  // G.711 mu-law to 16-bit linear, by the formula; returns count * 2.
  static int DecodeMuLaw(const uint8_t* source, int16_t* destination, int count);

  bool IsOpen() const { return device_open_; }
  const WaveFormat& open_format() const { return open_format_; }
  int buffer_index() const { return buffer_index_; }
  const uint8_t* slot_buffer(int slot) const { return buffers_[slot].get(); }

 private:
  std::unique_ptr<IAudioOutput> device_;
  bool device_open_ = false;
  WaveFormat open_format_{};
  int buffer_index_ = 0;
  int header_index_ = 0;  // always equal to buffer_index_
  std::unique_ptr<uint8_t[]> buffers_[kSlots];
  int buffer_sizes_[kSlots] = {};
  std::atomic<bool> muted_{false};
};
