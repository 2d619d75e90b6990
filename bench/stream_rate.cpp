// Reads the camera simulator's picture stream for 10 seconds through NTavoCGI
// and prints parts per second received against parts per second the
// simulator sent, at 640x480 and 1280x720, 30 frames/s, with three pacings
// between parts: a fixed 15 ms sleep per pass, the stream threads' wait for
// data (at most 15 ms, over as soon as bytes of the next part are there),
// and none.
//
// Usage: bench_stream_rate [seconds]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "media/media_header.h"
#include "net/tavo_cgi.h"
#include "support/camsim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  int received = 0;
  double seconds = 0;
  uint32_t sent = 0;         // parts the simulator had sent when it sent the last one we got
  uint32_t sent_millis = 0;  // its time stamp, from the start of the stream
  uint32_t last_frame = 0;   // picture number of that part (30 per second of stream time)
  double lag_seconds = 0;    // how far that part was behind the stream's clock when it arrived
  double mean_bytes = 0;
  int failed_reads = 0;
};

enum class Pacing { kSleep, kWaitForData, kNone };

Figures Measure(uint16_t port, double seconds, Pacing pacing) {
  Figures f;
  NTavoCGI cgi(true);
  cgi.http().SetServer("127.0.0.1", port, "admin", "kerut");
  while (!cgi.OpenVideoStream()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const Clock::time_point start = Clock::now();
  double bytes = 0;
  while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
    std::unique_ptr<NTavoMediaSample> sample;
    const int n = cgi.ReadStreamFrame(&sample);
    if (n > 0) {
      ++f.received;
      bytes += n;
      const uint8_t* h = sample->GetHeader();
      f.sent = media_header::ReadWord(h, media_header::kPartCountOffset);
      f.sent_millis = media_header::ReadWord(h, media_header::kTimestampOffset);
      f.last_frame = media_header::ReadWord(h, media_header::kFrameNumberOffset);
      f.lag_seconds =
          std::chrono::duration<double>(Clock::now() - start).count() - f.sent_millis / 1000.0;
    } else {
      ++f.failed_reads;
    }
    sample.reset();
    if (pacing == Pacing::kSleep) std::this_thread::sleep_for(std::chrono::milliseconds(15));
    if (pacing == Pacing::kWaitForData) cgi.WaitForStreamData(15);
  }
  f.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  f.mean_bytes = f.received ? bytes / f.received : 0;
  cgi.http().socket().ShutdownAndClose();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  std::printf("picture stream through NTavoCGI, %.0f s per run, simulator at 30 frames/s\n",
              seconds);
  std::printf("%-9s %-14s %9s %9s %8s %10s %9s %6s\n", "size", "reader", "recv/s", "sent/s",
              "dropped", "part bytes", "lag s", "fails");
  for (const char* size : {"640x480", "1280x720"}) {
    for (Pacing pacing : {Pacing::kSleep, Pacing::kWaitForData, Pacing::kNone}) {
      testsupport::CamsimProcess sim({"--fps", "30", "--size", size});
      if (!sim.ok()) {
        std::fprintf(stderr, "%s\n", sim.error().c_str());
        return 1;
      }
      const Figures f = Measure(sim.port(), seconds, pacing);
      sim.Stop();
      const double sent_rate = f.sent_millis ? f.sent * 1000.0 / f.sent_millis : 0;
      // Pictures the simulator skipped because it could not send them in time.
      const long dropped = static_cast<long>(f.last_frame) + 1 - static_cast<long>(f.sent);
      std::printf("%-9s %-14s %9.1f %9.1f %8ld %10.0f %9.2f %6d\n", size,
                  pacing == Pacing::kSleep         ? "15 ms sleep"
                  : pacing == Pacing::kWaitForData ? "wait for data"
                                                   : "no pause",
                  f.received / f.seconds, sent_rate, dropped, f.mean_bytes, f.lag_seconds,
                  f.failed_reads);
      std::fflush(stdout);
    }
  }
  return 0;
}
