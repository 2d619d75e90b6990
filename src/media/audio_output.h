// The sound output the audio player plays on, and the wave format of its
// packets.
#pragma once

#include <cstdint>
#include <memory>

// A packet's format, field for field as a wave format record.
struct WaveFormat {
  uint16_t formatTag;  // 1: linear PCM; 7: G.711 mu-law
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extraSize;
  bool operator==(const WaveFormat&) const = default;
};

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatMuLaw = 7;

// An output that plays queued buffers of linear PCM in the order they come.
// Used by one thread at a time (the audio thread).
class IAudioOutput {
 public:
  virtual ~IAudioOutput() = default;
  // Opens the output for `format` (linear PCM, little-endian): false when
  // there is no output or it refuses the format.
  virtual bool Open(const WaveFormat& format) = 0;
  // Queues `size` bytes for playing, whole sample frames of the open format
  // (the player never hands a part of one); they are copied before this returns.
  // False when nothing was queued.
  virtual bool Write(const uint8_t* data, int size) = 0;
  // What is written and not yet taken for playing: buffers (one partly
  // taken counts) and microseconds. The device's own buffer is not counted.
  struct Queue {
    int buffers;
    int64_t microseconds;
  };
  virtual Queue Queued() = 0;
  // Drops what is still queued and closes; nothing when not open.
  virtual void Close() = 0;
  // Microseconds until a buffer written now would be heard: what is queued
  // plus the output's own latency; -1 when not known.
  virtual int64_t LatencyUs() { return -1; }
};

// The desktop's default sound output (the PulseAudio server, which PipeWire
// also provides). Connects when first opened; with no server, opening fails.
std::unique_ptr<IAudioOutput> MakeDefaultAudioOutput();
