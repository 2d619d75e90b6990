// The simulator's test tone through the audio thread into a real sound
// server with a null sink whose monitor is recorded: a private PulseAudio,
// and a private PipeWire as desktops run it now.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "media/audio_thread.h"
#include "support/camsim_process.h"
#include "support/pipewire_server.h"
#include "support/pulse_server.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRecordRate = 16000;

struct Spectrum {
  double peak_hz = 0;
  double rms = 0;
};

// The strongest frequency from 100 to 2000 Hz in steps of 1 Hz, and the level.
Spectrum Analyse(const std::string& raw) {
  std::vector<double> x(raw.size() / 2);
  for (size_t i = 0; i < x.size(); ++i)
    x[i] = static_cast<int16_t>(uint8_t(raw[2 * i]) | uint8_t(raw[2 * i + 1]) << 8);
  Spectrum s;
  double best = 0, energy = 0;
  for (double v : x) energy += v * v;
  s.rms = x.empty() ? 0 : std::sqrt(energy / x.size());
  for (int hz = 100; hz <= 2000; ++hz) {
    const double w = 2 * std::numbers::pi * hz / kRecordRate;
    double re = 0, im = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      re += x[i] * std::cos(w * i);
      im -= x[i] * std::sin(w * i);
    }
    if (re * re + im * im > best) best = re * re + im * im, s.peak_hz = hz;
  }
  return s;
}

// Both codings of the simulator, each heard as its 440 Hz tone on `sound`.
void ExpectSimulatorToneOnSink(const testsupport::SoundServer& sound) {
  ASSERT_TRUE(sound.ok()) << sound.error();
  setenv("PULSE_SERVER", sound.server().c_str(), 1);
  const std::vector<std::vector<std::string>> codings = {
      {"--audio", "ulaw", "--audio-rate", "8000"}, {"--audio", "pcm16", "--audio-rate", "48000"}};
  for (const std::vector<std::string>& coding : codings) {
    SCOPED_TRACE(coding[1]);
    testsupport::CamsimProcess sim(coding);
    ASSERT_TRUE(sim.ok()) << sim.error();
    NTavoAudioThread audio;
    audio.SetCamera(L"127.0.0.1", sim.port(), L"kerut");
    ASSERT_TRUE(audio.Start());
    // On a busy machine the first sound may come late: a quiet recording
    // is taken again, up to ten times what it should need.
    Spectrum s;
    for (int take = 0; take < 10 && s.rms <= 2000; ++take)
      s = Analyse(sound.Record(1.5, kRecordRate));
    EXPECT_NEAR(s.peak_hz, 440, 440 * 0.02);
    EXPECT_GT(s.rms, 2000);  // the tone's amplitude is 12000: far above silence
    audio.Stop();
    EXPECT_TRUE(audio.WaitForEnd(std::chrono::seconds(2)));
  }
}

TEST(RealSound, SimulatorToneIsHeardOnTheSink) {
  ExpectSimulatorToneOnSink(testsupport::PulseServer());
}

TEST(RealSound, SimulatorToneIsHeardThroughPipeWire) {
  ExpectSimulatorToneOnSink(testsupport::PipeWireServer());
}

// The desktop's output, counting how often the player tries to open it.
class CountedOutput : public IAudioOutput {
 public:
  explicit CountedOutput(int* opens) : real_(MakeDefaultAudioOutput()), opens_(opens) {}
  bool Open(const WaveFormat& format) override {
    ++*opens_;
    return real_->Open(format);
  }
  bool Write(const uint8_t* data, int size) override { return real_->Write(data, size); }
  Queue Queued() override { return real_->Queued(); }
  void Close() override { real_->Close(); }

 private:
  std::unique_ptr<IAudioOutput> real_;
  int* opens_;
};

TEST(RealSound, WithoutAServerPacketsAreDroppedAtOnce) {
  setenv("PULSE_SERVER", "unix:/nonexistent/quenlo-no-sound", 1);
  int opens = 0;
  CAudioPlayer player(std::make_unique<CountedOutput>(&opens));
  const std::vector<uint8_t> packet(160, 0xFF);
  for (int i = 0; i < 50; ++i)
    player.Play(160, {kWaveFormatMuLaw, 1, 8000, 8000, 1, 8, 0}, packet.data());
  EXPECT_FALSE(player.IsOpen());
  EXPECT_EQ(opens, 1);  // each attempt waits for the server: one, not fifty
}

}  // namespace
