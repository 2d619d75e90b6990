// The live picture end to end: the simulator at 30 frames/s with its send
// times stamped into the pictures, the real video thread, decode thread and
// live window under Xvfb. Prints pictures painted per second against
// pictures sent per second, and the latency added between the simulator's
// send and the paint on the UI thread (median, 95th percentile, maximum),
// with the median of the first and of the last 10 s to show whether it grows.
//
// Usage: bench_live_view [seconds per size, default 60]

#include <gtk/gtk.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

#include "app/live_window_gtk.h"
#include "app/quenlo_window_gtk.h"
#include "media/video_thread.h"
#include "support/camsim_process.h"
#include "support/ui_session.h"
#include "time_stamp.h"

namespace {

// Stands between the decoder and the live window: reads each picture's stamp
// on its way to the window, numbered as the window numbers the pictures it
// is handed (from 1).
class StampReader : public ILiveTarget {
 public:
  explicit StampReader(ILiveTarget& window) : window_(window) {}
  bool IsVisible() const override { return window_.IsVisible(); }
  bool CreateSurface(int width, int height) override {
    return window_.CreateSurface(width, height);
  }
  void ReleaseSurface() override { window_.ReleaseSurface(); }
  bool DrawPicture(const BitmapInfo& info, const uint8_t* pixels) override {
    const int width = info.header.width, height = info.header.height;
    const uint32_t stride = BitmapStride(24, static_cast<uint32_t>(width));
    const uint64_t stamp = camsim::ReadStamp(width, height, [&](int x, int y) {
      const uint8_t* p = pixels + static_cast<size_t>(height - 1 - y) * stride + x * 3;
      return (p[0] + p[1] + p[2]) / 3;
    });
    {
      // Known before the window can paint it.
      std::lock_guard<std::mutex> lock(mu_);
      stamps_.push_back(stamp);
    }
    if (window_.DrawPicture(info, pixels)) return true;
    std::lock_guard<std::mutex> lock(mu_);
    stamps_.pop_back();
    return false;
  }
  // The stamp of picture `number`, or 0.
  uint64_t Stamp(uint64_t number) {
    std::lock_guard<std::mutex> lock(mu_);
    return number >= 1 && number <= stamps_.size() ? stamps_[number - 1] : 0;
  }

 private:
  ILiveTarget& window_;
  std::mutex mu_;
  std::vector<uint64_t> stamps_;  // guarded by mu_
};

struct Paint {
  uint64_t painted_us;
  uint64_t stamp;
};

struct Run {
  StampReader* reader;
  QuenloWindowGtk* window;
  uint64_t last_picture = 0;
  std::vector<Paint> paints;
};

// Runs after the live window has painted: records a picture not seen before.
gboolean AfterDraw(GtkWidget*, cairo_t*, gpointer data) {
  auto* run = static_cast<Run*>(data);
  const uint64_t picture = run->window->LiveWindow().Live().last_picture;
  if (picture != run->last_picture) {
    run->last_picture = picture;
    run->paints.push_back({camsim::MonotonicMicros(), run->reader->Stamp(picture)});
  }
  return FALSE;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

bool Measure(const char* size, double seconds) {
  testsupport::CamsimProcess sim({"--fps", "30", "--size", size, "--stamp", "time"});
  if (!sim.ok()) {
    std::fprintf(stderr, "%s\n", sim.error().c_str());
    return false;
  }
  GtkWidget* page = gtk_label_new("");
  QuenloWindowGtk window(page, true);
  window.SetClientSize(800, 600);
  StampReader reader(*window.LiveWindow().Target());
  Run run{&reader, &window, 0, {}};
  g_signal_connect(window.LiveWindow().Widget(), "draw", G_CALLBACK(AfterDraw), &run);
  window.LiveWindow().Show();
  NTavoVideoThread video;
  video.SetLiveWindow(&reader);
  video.SetCamera(L"127.0.0.1", sim.port(), L"kerut");
  video.Start();
  g_timeout_add(
      static_cast<guint>(seconds * 1000),
      [](gpointer w) {
        static_cast<QuenloWindowGtk*>(w)->PostQuit(0);
        return G_SOURCE_REMOVE;
      },
      &window);
  window.Run();
  video.Stop();
  video.WaitForEnd(-1);

  std::vector<double> latency_ms, first_ms, last_ms;
  std::set<uint32_t> frames;
  const uint64_t start = run.paints.empty() ? 0 : run.paints.front().painted_us;
  const uint64_t end = run.paints.empty() ? 0 : run.paints.back().painted_us;
  for (const Paint& p : run.paints) {
    const uint64_t sent = p.stamp & 0xFFFFFFFFFFFFull;
    const double ms = (static_cast<int64_t>(p.painted_us - sent)) / 1000.0;
    latency_ms.push_back(ms);
    if (p.painted_us < start + 10000000) first_ms.push_back(ms);
    if (p.painted_us + 10000000 > end) last_ms.push_back(ms);
    frames.insert(static_cast<uint32_t>(p.stamp >> 48));
  }
  // Frame numbers count every picture sent, painted or not (16 bits of them).
  const uint32_t first_frame = run.paints.empty() ? 0 : run.paints.front().stamp >> 48;
  const uint32_t last_frame = run.paints.empty() ? 0 : run.paints.back().stamp >> 48;
  const uint32_t sent_frames = ((last_frame - first_frame) & 0xFFFF) + 1;
  const double span = (end - start) / 1e6;
  std::printf("%-9s %9.1f %9.1f %8.1f%% %9.1f %9.1f %9.1f %10.1f %10.1f\n", size,
              span > 0 ? frames.size() / span : 0, span > 0 ? sent_frames / span : 0,
              100.0 * frames.size() / sent_frames, Percentile(latency_ms, 0.5),
              Percentile(latency_ms, 0.95), Percentile(latency_ms, 1.0), Percentile(first_ms, 0.5),
              Percentile(last_ms, 0.5));
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
  XvfbDisplay display;
  if (!display.Ok()) {
    std::fprintf(stderr, "bench_live_view: Xvfb did not start\n");
    return 1;
  }
  setenv("DISPLAY", display.Name().c_str(), 1);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("GTK_A11Y", "none", 1);
  gtk_init(&argc, &argv);
  std::printf(
      "live picture, simulator at 30 frames/s, %.0f s per size; latency in ms from send to paint\n",
      seconds);
  std::printf("%-9s %9s %9s %9s %9s %9s %9s %10s %10s\n", "size", "painted/s", "sent/s", "painted",
              "median", "p95", "max", "median 0-10", "median end");
  for (const char* size : {"640x480", "1280x720"})
    if (!Measure(size, seconds)) return 1;
  return 0;
}
