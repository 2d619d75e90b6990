// Live sound end to end: the simulator's mu-law tone (8000 Hz, 20 ms packets)
// through the real audio thread and player into a private PulseAudio server's
// null sink. For each packet written, the time until it is heard: the sink's
// reported latency plus what is queued before it. Prints median, 95th
// percentile and maximum, the medians of the first and the last 10 s to show
// whether the latency grows, and the packets written and dropped.
//
// Usage: bench_audio_latency [seconds, default 60]

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "media/audio_thread.h"
#include "support/camsim_process.h"
#include "support/pulse_server.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
  double at_s;
  double latency_ms;
};

// The real output, with the latency read after every write.
class MeasuredOutput : public IAudioOutput {
 public:
  explicit MeasuredOutput(std::unique_ptr<IAudioOutput> real) : real_(std::move(real)) {}
  bool Open(const WaveFormat& format) override { return real_->Open(format); }
  bool Write(const uint8_t* data, int size) override {
    const bool ok = real_->Write(data, size);
    const int64_t us = real_->LatencyUs();
    std::lock_guard<std::mutex> lock(mu);
    if (ok && us >= 0)
      samples.push_back({std::chrono::duration<double>(Clock::now() - start).count(), us / 1000.0});
    return ok;
  }
  Queue Queued() override {
    const Queue queued = real_->Queued();
    ++offered;
    dropped +=
        queued.buffers >= CAudioPlayer::kSlots || queued.microseconds > CAudioPlayer::kMaxQueuedUs;
    return queued;
  }
  void Close() override { real_->Close(); }

  const Clock::time_point start = Clock::now();
  std::mutex mu;
  std::vector<Sample> samples;  // guarded by mu
  std::atomic<int> offered{0}, dropped{0};

 private:
  std::unique_ptr<IAudioOutput> real_;
};

double Median(std::vector<double> v, double p = 0.5) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
  testsupport::PulseServer pulse;
  if (!pulse.ok()) {
    std::fprintf(stderr, "bench_audio_latency: %s\n", pulse.error().c_str());
    return 1;
  }
  setenv("PULSE_SERVER", pulse.server().c_str(), 1);
  testsupport::CamsimProcess sim({"--audio", "ulaw", "--audio-rate", "8000"});
  if (!sim.ok()) {
    std::fprintf(stderr, "%s\n", sim.error().c_str());
    return 1;
  }
  auto output = std::make_unique<MeasuredOutput>(MakeDefaultAudioOutput());
  MeasuredOutput& measured = *output;  // owned by the thread's player, read while it lives
  NTavoAudioThread audio(std::move(output));
  audio.SetCamera(L"127.0.0.1", sim.port(), L"kerut");
  audio.Start();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  audio.Stop();
  audio.WaitForEnd();
  std::vector<double> all, first, last;
  for (const Sample& s : measured.samples) {
    all.push_back(s.latency_ms);
    if (s.at_s < 10) first.push_back(s.latency_ms);
    if (s.at_s > seconds - 10) last.push_back(s.latency_ms);
  }
  std::printf("live sound, mu-law 8000 Hz in 20 ms packets, %.0f s; ms until a packet is heard\n",
              seconds);
  std::printf("%8s %8s %8s %8s %8s %12s %12s\n", "packets", "dropped", "median", "p95", "max",
              "median 0-10", "median end");
  std::printf("%8d %8d %8.1f %8.1f %8.1f %12.1f %12.1f\n", measured.offered.load(),
              measured.dropped.load(), Median(all), Median(all, 0.95), Median(all, 1.0),
              Median(first), Median(last));
  return 0;
}
