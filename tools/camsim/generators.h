#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace camsim {

// Produces the pictures of the simulated camera's picture stream.
// Called on one stream connection's thread; each connection owns its own.
class FrameGenerator {
 public:
  virtual ~FrameGenerator() = default;
  // Fills `rgb` (width * height * 3 bytes, red-green-blue) with picture number
  // `frame`.
  virtual void Render(uint32_t frame, int width, int height, uint8_t* rgb) = 0;
};

// A moving colour pattern with the frame number drawn in large digits.
std::unique_ptr<FrameGenerator> MakeTestPatternGenerator();

// Produces the sound samples of the simulated camera's sound stream, one
// packet at a time. Owned by one stream connection's thread.
class SoundGenerator {
 public:
  virtual ~SoundGenerator() = default;
  // Appends `count` samples (16-bit linear, one channel) to `out`.
  virtual void Generate(int count, std::vector<int16_t>* out) = 0;
};

// A continuous sine tone of `frequency` Hz at `rate` samples per second.
std::unique_ptr<SoundGenerator> MakeToneGenerator(double frequency, int rate);

// G.711 mu-law code of one 16-bit linear sample.
uint8_t LinearToUlaw(int16_t sample);

// Encodes red-green-blue pictures as baseline JPEG. Not thread-safe: one per
// stream connection.
class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // Encodes `rgb` at `quality` (1-100) into `out`; false when the codec fails.
  bool Encode(const uint8_t* rgb, int width, int height, int quality, std::vector<uint8_t>* out);

 private:
  void* handle_;
};

}  // namespace camsim
