// From the camera's audio format word to packets queued on a sound output.
#include "media/audio_player.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "media/audio_thread.h"
#include "media/media_header.h"

namespace {

using media_header::FormatWord;

TEST(AudioFormatWord, PlaysPcmAndMuLawOnly) {
  struct Case {
    uint32_t word;
    bool played;
    WaveFormat format;
  } cases[] = {
      {0x243, true, {kWaveFormatMuLaw, 1, 11000, 11000, 1, 8, 0}},
      {FormatWord(2, true, 4, 1), true, {kWaveFormatPcm, 1, 48000, 96000, 2, 16, 0}},
      {FormatWord(2, false, 0, 2) | 0x20, true, {kWaveFormatPcm, 2, 8000, 32000, 4, 16, 0}},
      {FormatWord(3, false, 0, 0), true, {kWaveFormatMuLaw, 0, 8000, 0, 0, 8, 0}},
      {FormatWord(3, false, 6, 1), true, {kWaveFormatMuLaw, 1, 0, 0, 1, 8, 0}},
      {FormatWord(0, false, 0, 1), false, {}},  // MJPG
      {FormatWord(5, true, 0, 1), false, {}},   // H264
      {FormatWord(9, true, 0, 1), false, {}},   // no codec at all
  };
  for (const Case& c : cases) {
    WaveFormat format{};
    EXPECT_EQ(WaveFormatFromWord(c.word, &format), c.played) << std::hex << c.word;
    if (c.played) {
      EXPECT_EQ(format, c.format) << std::hex << c.word;
    }
  }
}

TEST(MuLaw, ExpandsToTheG711EndPoints) {
  const uint8_t codes[] = {0xFF, 0x7F, 0x00, 0x80, 0xF0};
  int16_t samples[5];
  EXPECT_EQ(CAudioPlayer::DecodeMuLaw(codes, samples, 5), 10);
  EXPECT_EQ(samples[0], 0);
  EXPECT_EQ(samples[1], 0);
  EXPECT_EQ(samples[2], -32124);
  EXPECT_EQ(samples[3], 32124);
  EXPECT_EQ(samples[4], 120);
}

// Records what the player does with its output; refuses a rate of 0.
class FakeOutput : public IAudioOutput {
 public:
  bool Open(const WaveFormat& format) override {
    opened.push_back(format);
    is_open = format.samplesPerSec != 0;
    return is_open;
  }
  bool Write(const uint8_t* data, int size) override {
    EXPECT_TRUE(is_open);
    if (server_gone) return false;
    writes.emplace_back(data, data + size);
    return true;
  }
  Queue Queued() override { return {queued, queued_us}; }
  void Close() override {
    is_open = false;
    ++closes;
  }

  std::vector<WaveFormat> opened;
  std::vector<std::vector<uint8_t>> writes;
  int queued = 0, closes = 0;
  int64_t queued_us = 0;
  bool is_open = false, server_gone = false;
};

class AudioPlayerTest : public testing::Test {
 protected:
  AudioPlayerTest() : player_(std::unique_ptr<IAudioOutput>(output_ = new FakeOutput)) {}
  void PlayMuLaw(int bytes, uint32_t rate, uint16_t bits = 8) {
    const std::vector<uint8_t> packet(static_cast<size_t>(bytes), 0x80);
    const uint16_t align = static_cast<uint16_t>(bits / 8);
    player_.Play(bytes, {kWaveFormatMuLaw, 1, rate, rate * align, align, bits, 0}, packet.data());
  }
  FakeOutput* output_;
  CAudioPlayer player_;
};

TEST_F(AudioPlayerTest, TenSlotsInRotationAndOneOpenPerFormat) {
  PlayMuLaw(160, 8000);
  ASSERT_EQ(output_->opened.size(), 1u);
  EXPECT_EQ(output_->opened[0], (WaveFormat{kWaveFormatPcm, 1, 8000, 16000, 2, 16, 0}));
  ASSERT_EQ(output_->writes.size(), 1u);
  EXPECT_EQ(output_->writes[0].size(), 320u);
  EXPECT_EQ(output_->writes[0][0] | output_->writes[0][1] << 8, 32124);  // little-endian
  const uint8_t* first_slot = player_.slot_buffer(0);
  for (int i = 0; i < 10; ++i) PlayMuLaw(160, 8000);
  EXPECT_EQ(output_->writes.size(), 11u);
  EXPECT_EQ(player_.buffer_index(), 1);           // the eleventh went to slot 0 again
  EXPECT_EQ(player_.slot_buffer(0), first_slot);  // same size: not reallocated
  EXPECT_EQ(output_->opened.size(), 1u);

  PlayMuLaw(220, 11000);  // another rate: closed and opened again
  EXPECT_EQ(output_->closes, 1);
  ASSERT_EQ(output_->opened.size(), 2u);
  EXPECT_EQ(output_->opened[1].samplesPerSec, 11000u);
  EXPECT_EQ(player_.buffer_index(), 1);  // a reopen starts at slot 0

  PlayMuLaw(160, 8000, 16);  // mu-law claiming 16 bits still expands to 16-bit samples
  EXPECT_EQ(output_->opened.back(), (WaveFormat{kWaveFormatPcm, 1, 8000, 16000, 2, 16, 0}));
  EXPECT_EQ(output_->writes.back().size(), 320u);
}

TEST_F(AudioPlayerTest, RefusedFormatAndFullQueueDropPackets) {
  PlayMuLaw(160, 0);  // refused: dropped, and so are the next of that format
  PlayMuLaw(160, 0);
  EXPECT_EQ(output_->opened.size(), 1u);
  EXPECT_TRUE(output_->writes.empty());
  EXPECT_FALSE(player_.IsOpen());
  PlayMuLaw(160, 8000);  // another format tries again
  EXPECT_EQ(output_->opened.size(), 2u);
  EXPECT_EQ(output_->writes.size(), 1u);

  // The output still holds ten packets, or more than 80 ms: dropped, so
  // the sound does not fall further behind.
  const struct {
    int buffers;
    int64_t us;
    size_t written;
  } queues[] = {{10, 0, 0}, {9, 0, 1}, {3, 80001, 0}, {3, 80000, 1}};
  for (const auto& q : queues) {
    output_->queued = q.buffers;
    output_->queued_us = q.us;
    const size_t before = output_->writes.size();
    PlayMuLaw(160, 8000);
    EXPECT_EQ(output_->writes.size() - before, q.written) << q.buffers << " " << q.us;
  }
  output_->queued = 0;
  output_->queued_us = 0;

  // The output's server went away: the next packet opens it again.
  output_->server_gone = true;
  PlayMuLaw(160, 8000);
  output_->server_gone = false;
  const size_t opens = output_->opened.size();
  PlayMuLaw(160, 8000);
  EXPECT_EQ(output_->opened.size(), opens + 1);

  const uint8_t byte = 0;
  const size_t written = output_->writes.size();
  player_.Play(0, {kWaveFormatPcm, 1, 8000, 8000, 1, 8, 0}, &byte);
  player_.Play(1, {3, 1, 8000, 8000, 1, 8, 0}, &byte);  // neither PCM nor mu-law
  EXPECT_EQ(output_->writes.size(), written);
}

TEST_F(AudioPlayerTest, OnlyWholeSampleFramesReachTheOutput) {
  // A sound server refuses a write that ends inside a frame, and the player
  // would then close the output for every such packet.
  struct Case {
    WaveFormat format;
    int length;
    size_t written;  // 0: nothing written
  } cases[] = {
      {{kWaveFormatPcm, 2, 8000, 32000, 4, 16, 0}, 7, 4},
      {{kWaveFormatPcm, 2, 8000, 32000, 4, 16, 0}, 3, 0},
      {{kWaveFormatPcm, 1, 8000, 16000, 2, 16, 0}, 9, 8},
      {{kWaveFormatPcm, 3, 8000, 24000, 3, 8, 0}, 8, 6},
      {{kWaveFormatMuLaw, 2, 8000, 16000, 2, 8, 0}, 5, 8},  // expanded to 16 bits
      {{kWaveFormatMuLaw, 0, 8000, 0, 0, 8, 0}, 5, 0},      // no channel, no frame
  };
  const std::vector<uint8_t> packet(16, 0x80);
  for (const Case& c : cases) {
    const size_t before = output_->writes.size();
    player_.Play(c.length, c.format, packet.data());
    ASSERT_EQ(output_->writes.size() - before, c.written > 0 ? 1u : 0u) << c.length;
    if (c.written > 0) {
      EXPECT_EQ(output_->writes.back().size(), c.written) << c.length;
    }
  }
}

// Muted, every packet still reaches the open output, as silence of its
// written format; unmuted, the sound itself comes back without a reopen.
TEST_F(AudioPlayerTest, MutedPacketsPlayAsSilenceOnTheOpenOutput) {
  struct Case {
    WaveFormat format;
    uint8_t byte;     // every byte of the packet
    uint8_t silence;  // every byte written while muted
  } cases[] = {
      {{kWaveFormatPcm, 1, 8000, 16000, 2, 16, 0}, 0x35, 0x00},
      {{kWaveFormatPcm, 2, 8000, 16000, 2, 8, 0}, 0x35, 0x80},  // 8-bit PCM is unsigned
      {{kWaveFormatMuLaw, 1, 8000, 8000, 1, 8, 0}, 0x35, 0x00},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> packet(8, c.byte);
    player_.SetMuted(true);
    player_.Play(8, c.format, packet.data());
    ASSERT_FALSE(output_->writes.empty());
    EXPECT_EQ(output_->writes.back(),
              std::vector<uint8_t>(output_->writes.back().size(), c.silence))
        << c.format.formatTag << " " << c.format.bitsPerSample;
    const int closes = output_->closes;
    const size_t opens = output_->opened.size();
    player_.SetMuted(false);
    player_.Play(8, c.format, packet.data());
    EXPECT_EQ(output_->closes, closes);
    EXPECT_EQ(output_->opened.size(), opens);
    EXPECT_NE(output_->writes.back(),
              std::vector<uint8_t>(output_->writes.back().size(), c.silence));
  }
}

}  // namespace
