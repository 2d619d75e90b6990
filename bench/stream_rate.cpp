// Reads the camera simulator's picture stream for 10 seconds through NTavoCGI,
// the way the video thread does (a 15 ms sleep per loop pass, besides the 14 ms
// pauses inside the reader), and prints parts per second received against
// parts per second the simulator sent, at 640x480 and 1280x720, 30 frames/s.
//
// Usage: bench_stream_rate [path-to-tavo-camsim] [seconds]

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "media/media_header.h"
#include "net/tavo_cgi.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string DefaultSimulatorPath() {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "tavo-camsim";
  std::string path(exe, static_cast<size_t>(n));
  path = path.substr(0, path.rfind('/'));  // .../build/bench
  path = path.substr(0, path.rfind('/'));  // .../build
  return path + "/tools/camsim/tavo-camsim";
}

// Starts the simulator on 127.0.0.1 and a free port; its port, or 0.
uint16_t StartSimulator(const std::string& path, const std::string& size, pid_t* pid) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return 0;
  *pid = fork();
  if (*pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    execl(path.c_str(), path.c_str(), "--listen", "127.0.0.1", "--port", "0", "--fps", "30",
          "--size", size.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c;
  pollfd p{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&p, 1, 5000) > 0 && read(out[0], &c, 1) == 1)
    line.push_back(c);
  close(out[0]);
  const size_t colon = line.rfind(':');
  return colon == std::string::npos ? 0
                                    : static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
}

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

Figures Measure(uint16_t port, double seconds, bool loop_sleep) {
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
    if (loop_sleep) std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
  f.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  f.mean_bytes = f.received ? bytes / f.received : 0;
  cgi.http().socket().ShutdownAndClose();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string sim = argc > 1 ? argv[1] : DefaultSimulatorPath();
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
  std::printf("picture stream through NTavoCGI, %.0f s per run, simulator at 30 frames/s\n",
              seconds);
  std::printf("%-9s %-14s %9s %9s %8s %10s %9s %6s\n", "size", "reader", "recv/s", "sent/s",
              "dropped", "part bytes", "lag s", "fails");
  for (const char* size : {"640x480", "1280x720"}) {
    for (bool loop_sleep : {true, false}) {
      pid_t pid = -1;
      const uint16_t port = StartSimulator(sim, size, &pid);
      if (port == 0) {
        std::fprintf(stderr, "cannot start the simulator at %s\n", sim.c_str());
        if (pid > 0) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
        return 1;
      }
      const Figures f = Measure(port, seconds, loop_sleep);
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      const double sent_rate = f.sent_millis ? f.sent * 1000.0 / f.sent_millis : 0;
      // Pictures the simulator skipped because it could not send them in time.
      const long dropped = static_cast<long>(f.last_frame) + 1 - static_cast<long>(f.sent);
      std::printf("%-9s %-14s %9.1f %9.1f %8ld %10.0f %9.2f %6d\n", size,
                  loop_sleep ? "15 ms sleep" : "no loop sleep", f.received / f.seconds, sent_rate,
                  dropped, f.mean_bytes, f.lag_seconds, f.failed_reads);
      std::fflush(stdout);
    }
  }
  return 0;
}
