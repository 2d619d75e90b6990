// Sound packets as the audio thread plays them: each packet's format word
// read into a wave format, then played on an output that behaves like the
// desktop's: it refuses formats a sound server refuses, and takes whole
// sample frames only. Input: one byte for the output's answers, then packets
// of a 4-byte format word, a 2-byte length and up to that many bytes.
#include <algorithm>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "media/audio_player.h"
#include "media/audio_thread.h"

namespace {

// Answers by the input's first byte: bit 0 refuses every open, bit 1 fails
// every fifth write (a server gone), bits 2-7 give the queue it reports.
class FussyOutput : public IAudioOutput {
 public:
  explicit FussyOutput(uint8_t answers) : answers_(answers) {}
  bool Open(const WaveFormat& format) override {
    fuzz::Require(format.formatTag == kWaveFormatPcm);
    fuzz::Require(format.blockAlign == format.channels * format.bitsPerSample / 8);
    open_ = (answers_ & 1) == 0 && format.channels > 0 && format.samplesPerSec > 0 &&
            (format.bitsPerSample == 8 || format.bitsPerSample == 16);
    format_ = format;
    return open_;
  }
  bool Write(const uint8_t* data, int size) override {
    fuzz::Require(open_ && size > 0 && size % format_.blockAlign == 0);
    fuzz::ReadAll(data, static_cast<size_t>(size));
    return (answers_ & 2) == 0 || ++writes_ % 5 != 0;
  }
  Queue Queued() override { return {(answers_ >> 2) & 15, (answers_ >> 6) * 30000}; }
  void Close() override { open_ = false; }

 private:
  const uint8_t answers_;
  bool open_ = false;
  WaveFormat format_{};
  int writes_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return -1;
  CAudioPlayer player(std::make_unique<FussyOutput>(data[0]));
  for (size_t at = 1; at + 6 <= size;) {
    const uint32_t word = data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                          static_cast<uint32_t>(data[at + 3]) << 24;
    const size_t announced = data[at + 4] | data[at + 5] << 8;
    at += 6;
    const size_t length = std::min(announced, size - at);
    WaveFormat format{};
    if (WaveFormatFromWord(word, &format)) {
      fuzz::Require(format.formatTag == kWaveFormatPcm || format.formatTag == kWaveFormatMuLaw);
      // An exact copy on the heap, so that a read past the packet is caught.
      std::unique_ptr<uint8_t[]> packet(new uint8_t[length]);
      std::memcpy(packet.get(), data + at, length);
      player.Play(static_cast<int>(length), format, packet.get());
    }
    at += length;
  }
  return 0;
}
