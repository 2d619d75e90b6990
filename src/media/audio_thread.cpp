#include "media/audio_thread.h"

#include <cstring>

#include "media/media_header.h"

namespace {

// Four characters per codec index; indexes past the text name no codec.
constexpr char kCodecTags[] = "MJPGMPG4lpcmulawsamrH264";
constexpr uint32_t kCodecCount = (sizeof kCodecTags - 1) / 4;

}  // namespace

bool WaveFormatFromWord(uint32_t word, WaveFormat* format) {
  const uint32_t codec = word & 15;
  if (codec >= kCodecCount) return false;
  const char* tag = kCodecTags + codec * 4;
  uint16_t format_tag;
  if (std::memcmp(tag, "lpcm", 4) == 0) {
    format_tag = kWaveFormatPcm;
  } else if (std::memcmp(tag, "ulaw", 4) == 0) {
    format_tag = kWaveFormatMuLaw;
  } else {
    return false;
  }
  const uint16_t channels = static_cast<uint16_t>((word >> 9) & 3);
  const uint32_t rate = media_header::kRates[(word >> 6) & 7];
  const uint16_t bits = (word & media_header::kWidth16Mask) != 0 ? 16 : 8;
  const uint16_t block_align = static_cast<uint16_t>(bits * channels / 8);
  *format = WaveFormat{format_tag, channels, rate, block_align * rate, block_align, bits, 0};
  return true;
}

NTavoAudioThread::NTavoAudioThread(std::unique_ptr<IAudioOutput> output)
    : NTavoStreamThread("Audio Thread"), player_(std::move(output)) {}

// The player goes only after the thread that uses it has ended.
NTavoAudioThread::~NTavoAudioThread() {
  Stop();
  WaitForEnd();
}

int NTavoAudioThread::OnEnd() {
  player_.Reset();
  return 0;
}

bool NTavoAudioThread::OpenStream() { return camera().OpenAudioStream(); }

void NTavoAudioThread::PlayAudioSample(const IMediaSample& sample) {
  WaveFormat format;
  const uint32_t word = media_header::ReadWord(sample.GetHeader(), media_header::kFormatWordOffset);
  if (!WaveFormatFromWord(word, &format)) return;
  player_.Play(sample.GetPayloadLength(), format, sample.GetPayload());
}
