// A picture's send time written into the picture itself, so that a viewer
// can tell how old a picture is when it shows it: 64 black or white blocks
// along the bottom edge, the frame number's low 16 bits then 48 bits of the
// send time (CLOCK_MONOTONIC, microseconds), highest bit first. Blocks are
// large enough to survive JPEG coding.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>

namespace camsim {

constexpr int kStampBits = 64;

inline uint64_t MonotonicMicros() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000u + static_cast<uint64_t>(t.tv_nsec) / 1000u;
}

inline int StampBlockWidth(int width) { return width / kStampBits; }
inline int StampBlockHeight(int width) { return std::max(8, StampBlockWidth(width)); }

inline uint64_t StampWord(uint32_t frame, uint64_t micros) {
  return uint64_t{frame & 0xFFFF} << 48 | (micros & 0xFFFFFFFFFFFFull);
}

// Writes the stamp into `rgb` (red-green-blue, top row first); pictures
// narrower than 256 pixels get none.
inline void StampPicture(uint8_t* rgb, int width, int height, uint64_t word) {
  const int bw = StampBlockWidth(width), bh = StampBlockHeight(width);
  if (bw < 4 || bh > height) return;
  for (int bit = 0; bit < kStampBits; ++bit) {
    const uint8_t v = (word >> (kStampBits - 1 - bit)) & 1 ? 255 : 0;
    for (int y = height - bh; y < height; ++y)
      std::fill_n(rgb + (static_cast<size_t>(y) * width + bit * bw) * 3, bw * 3, v);
  }
}

// Reads a stamp back through `luma(x, y)` (0-255, y from the top).
template <typename Luma>
uint64_t ReadStamp(int width, int height, Luma luma) {
  const int bw = StampBlockWidth(width), bh = StampBlockHeight(width);
  uint64_t word = 0;
  if (bw < 4 || bh > height) return word;
  for (int bit = 0; bit < kStampBits; ++bit)
    word = word << 1 | (luma(bit * bw + bw / 2, height - bh / 2 - 1) > 127 ? 1 : 0);
  return word;
}

}  // namespace camsim
