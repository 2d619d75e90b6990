#pragma once

#include <cstdint>

// The 28 bytes the camera puts in front of every stream part (a JPEG image or
// a packet of audio samples). The wizard itself reads only the audio format
// word; the other fields are filled by our camera simulator so that tests and
// benchmarks can tell parts apart. All words are 32-bit little-endian.
namespace media_header {

constexpr int kSize = 28;

constexpr int kFrameNumberOffset = 0;  // picture or packet number since the stream began
constexpr int kPartCountOffset = 4;    // parts sent on this connection, this one included
constexpr int kTimestampOffset = 8;    // milliseconds since the stream began
constexpr int kPayloadLengthOffset = 12;
constexpr int kFormatWordOffset = 20;  // audio format word, see below

// Audio format word: bits 0-3 codec index, 4-5 sample width (16 bits when
// either is set), 6-8 rate index, 9-10 channel count.
constexpr uint32_t kCodecMjpg = 0;
constexpr uint32_t kCodecLpcm = 2;
constexpr uint32_t kCodecUlaw = 3;
constexpr uint32_t kWidth16 = 0x10;      // what the simulator sets for 16-bit sound
constexpr uint32_t kWidth16Mask = 0x30;  // either bit means 16 bits

// Sample rates by rate index; indexes 5 to 7 name no rate.
constexpr uint16_t kRates[8] = {8000, 11000, 24000, 44000, 48000, 0, 0, 0};

constexpr uint32_t FormatWord(uint32_t codec, bool sixteen_bits, uint32_t rate_index,
                              uint32_t channels) {
  return (codec & 15) | (sixteen_bits ? kWidth16 : 0) | ((rate_index & 7) << 6) |
         ((channels & 3) << 9);
}

// Rate index of `rate`, or -1 when the camera cannot announce it.
constexpr int RateIndex(uint32_t rate) {
  for (int i = 0; i < 5; ++i)
    if (kRates[i] == rate) return i;
  return -1;
}

inline uint32_t ReadWord(const uint8_t* header, int offset) {
  const uint8_t* p = header + offset;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void WriteWord(uint8_t* header, int offset, uint32_t value) {
  uint8_t* p = header + offset;
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace media_header
