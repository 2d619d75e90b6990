#include <cmath>
#include <numbers>

#include "generators.h"

namespace camsim {
namespace {

class Tone : public SoundGenerator {
 public:
  Tone(double frequency, int rate) : step_(2 * std::numbers::pi * frequency / rate) {}

  void Generate(int count, std::vector<int16_t>* out) override {
    for (int i = 0; i < count; ++i) {
      out->push_back(static_cast<int16_t>(std::lround(12000 * std::sin(phase_))));
      phase_ = std::fmod(phase_ + step_, 2 * std::numbers::pi);
    }
  }

 private:
  const double step_;
  double phase_ = 0;
};

}  // namespace

std::unique_ptr<SoundGenerator> MakeToneGenerator(double frequency, int rate) {
  return std::make_unique<Tone>(frequency, rate);
}

uint8_t LinearToUlaw(int16_t sample) {
  constexpr int kBias = 0x84, kClip = 32635;
  int s = sample;
  const int sign = s < 0 ? 0x80 : 0;
  if (s < 0) s = -s;
  if (s > kClip) s = kClip;
  s += kBias;
  int exponent = 7;
  for (int mask = 0x4000; exponent > 0 && !(s & mask); mask >>= 1) --exponent;
  const int mantissa = (s >> (exponent + 3)) & 0x0F;
  return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

}  // namespace camsim
