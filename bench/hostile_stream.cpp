// The live picture against a hostile camera: the real video and decode
// threads read a loopback stream served by this program, of either frames
// that are no JPEG at all, sent back to back, or 640x480 pictures of 21,002
// progressive scans (one scan repeated, about 250 KB each) at 15 a second.
// Prints, for each, the CPU share of the stream and decode threads, the
// bytes written to standard error, the pictures drawn, and how long the
// live view's Stop (stop, then join, as the finish page does) took.
//
// Usage: bench_hostile_stream [seconds per stream, default 5]

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "media/video_thread.h"
#include "support/fake_live_target.h"
#include "thread_cpu.h"

namespace {

using Clock = std::chrono::steady_clock;

// A flat grey 640x480 progressive picture whose AC scan comes `repeats` more times.
std::vector<uint8_t> ManyScanPicture(int repeats) {
  jpeg_scan_info script[2] = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 1, 0, 10}};
  jpeg_compress_struct c;
  jpeg_error_mgr errors;
  c.err = jpeg_std_error(&errors);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = 640;
  c.image_height = 480;
  c.input_components = 1;
  c.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  c.scan_info = script;
  c.num_scans = 2;
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(640, 128);
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> jpeg(out, out + size);
  std::free(out);
  jpeg_destroy_compress(&c);
  size_t sos = jpeg.size() - 2;
  while (!(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA)) --sos;
  const std::vector<uint8_t> scan(jpeg.begin() + static_cast<std::ptrdiff_t>(sos), jpeg.end() - 2);
  for (int i = 0; i < repeats; ++i) jpeg.insert(jpeg.end() - 2, scan.begin(), scan.end());
  return jpeg;
}

// Serves one stream connection on `listener` with `picture` in every part,
// `pause` apart, until `stop`.
void Serve(int listener, const std::vector<uint8_t>& picture, std::chrono::milliseconds pause,
           const std::atomic<bool>& stop) {
  const int fd = accept(listener, nullptr, nullptr);
  if (fd < 0) return;
  char request[4096];
  if (recv(fd, request, sizeof request, 0) <= 0) return (void)close(fd);
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n"
      "Connection: close\r\n\r\n";
  std::string content(28, '\0');  // the media header, which the video path skips
  content.append(reinterpret_cast<const char*>(picture.data()), picture.size());
  const std::string part =
      "--b\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(content.size()) +
      "\r\n\r\n" + content + "\r\n";
  bool ok = send(fd, head.data(), head.size(), MSG_NOSIGNAL) > 0;
  while (ok && !stop.load()) {
    ok = send(fd, part.data(), part.size(), MSG_NOSIGNAL) > 0;
    std::this_thread::sleep_for(pause);
  }
  close(fd);
}

void Run(const char* what, const std::vector<uint8_t>& picture, std::chrono::milliseconds pause,
         int seconds) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::printf("%s: no loopback listener\n", what);
    return;
  }
  std::atomic<bool> stop{false};
  std::thread server(Serve, listener, std::cref(picture), pause, std::cref(stop));
  // Standard error goes to a file, whose growth is counted.
  std::fflush(stderr);
  FILE* captured = std::tmpfile();
  const int saved = dup(STDERR_FILENO);
  dup2(fileno(captured), STDERR_FILENO);

  FakeLiveTarget target;
  NTavoVideoThread video;
  video.SetLiveWindow(&target);
  video.SetCamera(L"127.0.0.1", ntohs(address.sin_port), L"kerut");
  video.Start();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::vector<pid_t> tids = {static_cast<pid_t>(video.ThreadId()),
                                   static_cast<pid_t>(video.decoder()->ThreadId())};
  const bench::CpuSnapshot before = bench::CpuSnapshot::Take(tids);
  const long err_before = lseek(fileno(captured), 0, SEEK_END);
  const Clock::time_point start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const bench::CpuSnapshot after = bench::CpuSnapshot::Take(tids);
  const double wall_ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  std::fflush(stderr);
  const long err_bytes = lseek(fileno(captured), 0, SEEK_END) - err_before;
  const Clock::time_point stopping = Clock::now();
  video.Stop();
  video.Join();
  const double stop_ms = std::chrono::duration<double, std::milli>(Clock::now() - stopping).count();
  stop.store(true);
  server.join();
  close(listener);
  dup2(saved, STDERR_FILENO);
  close(saved);
  std::fclose(captured);

  const auto share = [&](size_t i) {
    return 100.0 * static_cast<double>(after.threads[i].cpu_ns - before.threads[i].cpu_ns) /
           wall_ns;
  };
  std::printf(
      "%s:\n  CPU: stream thread %.0f %%, decode thread %.0f %%\n"
      "  standard error: %ld bytes in %d s\n  pictures drawn: %zu\n"
      "  Stop and join: %.0f ms\n",
      what, share(0), share(1), err_bytes, seconds, target.Drawn(), stop_ms);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: bench_hostile_stream [seconds per stream]\n");
    return 2;
  }
  std::vector<uint8_t> noise(200);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>('A' + i % 23);
  Run("200-byte frames that are no JPEG, back to back", noise, std::chrono::milliseconds(0),
      seconds);
  Run("640x480 pictures of 21,002 scans, 15 a second", ManyScanPicture(21000),
      std::chrono::milliseconds(66), seconds);
  return 0;
}
