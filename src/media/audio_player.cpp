#include "media/audio_player.h"

#include <cstring>
#include <new>

namespace {

// Bytes of one sample frame of a packet in `format` (one mu-law byte per
// channel); 0 when the format names no channel.
int PacketFrameBytes(const WaveFormat& format) {
  const int per_sample = format.formatTag == kWaveFormatMuLaw ? 1 : format.bitsPerSample / 8;
  return format.channels * per_sample;
}

}  // namespace

CAudioPlayer::CAudioPlayer(std::unique_ptr<IAudioOutput> output) : device_(std::move(output)) {}

CAudioPlayer::~CAudioPlayer() { Close(); }

int CAudioPlayer::DecodeMuLaw(const uint8_t* source, int16_t* destination, int count) {
  for (int i = 0; i < count; ++i) {
    const int u = static_cast<uint8_t>(~source[i]);
    const int t = ((u & 0x0F) * 8 + 132) << ((u >> 4) & 7);
    destination[i] = static_cast<int16_t>((u & 0x80) ? 132 - t : t - 132);
  }
  return count * 2;
}

void CAudioPlayer::Close() {
  buffer_index_ = header_index_ = 0;
  if (!device_open_) return;
  device_->Close();
  device_open_ = false;
}

void CAudioPlayer::Reset() {
  Close();
  open_format_ = WaveFormat{};
}

void CAudioPlayer::Play(int length, WaveFormat format, const uint8_t* data) {
  if (!data || !device_) return;
  // The output takes whole sample frames only: a sound server refuses a write
  // that ends inside a frame, which would close the output for every such
  // packet. A piece of a frame at the end is dropped.
  const int frame = PacketFrameBytes(format);
  if (frame <= 0 || length < frame) return;
  length -= length % frame;
  int needed = 0;
  if (format.formatTag == kWaveFormatPcm) needed = length;
  if (format.formatTag == kWaveFormatMuLaw) needed = 2 * length;
  if (needed == 0) return;
  const int i = buffer_index_;
  if (buffer_sizes_[i] != needed) {
    buffers_[i].reset();
    buffer_sizes_[i] = needed;
  }
  if (!buffers_[i]) {
    buffers_[i].reset(new (std::nothrow) uint8_t[static_cast<size_t>(needed)]);
    if (!buffers_[i]) return;
  }
  if (format.formatTag == kWaveFormatMuLaw) {
    // Each mu-law byte becomes one 16-bit sample, whatever width the packet
    // claims: a packet claiming 16-bit mu-law must not be played as 32-bit.
    DecodeMuLaw(data, reinterpret_cast<int16_t*>(buffers_[i].get()), length);
    format.formatTag = kWaveFormatPcm;
    format.bitsPerSample = 16;
    format.blockAlign = static_cast<uint16_t>(2 * format.channels);
    format.avgBytesPerSec = format.blockAlign * format.samplesPerSec;
  } else {
    std::memcpy(buffers_[i].get(), data, static_cast<size_t>(needed));
  }
  if (muted_.load()) {
    // Silence of linear PCM: 8-bit samples are unsigned around 128.
    std::memset(buffers_[i].get(), format.bitsPerSample == 8 ? 0x80 : 0,
                static_cast<size_t>(needed));
  }
  if (IsFormatChanged(format)) {
    Close();
    open_format_ = format;
    device_open_ = device_->Open(format);
  }
  if (!device_open_) return;
  // The output copies what it is given, so no slot is ever read while it is
  // refilled; what bounds the latency is what the output still holds.
  const IAudioOutput::Queue queued = device_->Queued();
  if (queued.buffers >= kSlots || queued.microseconds > kMaxQueuedUs) return;
  if (!device_->Write(buffers_[i].get(), buffer_sizes_[i])) {
    Reset();  // the output is gone (its server ended): the next packet opens it again
    return;
  }
  buffer_index_ = (buffer_index_ + 1) % kSlots;
  header_index_ = (header_index_ + 1) % kSlots;
}
