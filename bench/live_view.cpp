// The live picture end to end: the simulator at 30 frames/s with its send
// times stamped into the pictures, the real video thread, decode thread and
// live window under Xvfb. Prints pictures painted per second against
// pictures sent per second, and the latency added between the simulator's
// send and the paint on the UI thread (median, 95th percentile, maximum),
// with the median of the first and of the last 10 s to show whether it grows.
// Then what a painted picture costs: the process's CPU time per picture
// painted, split into the stream thread (reading the stream), the decode
// thread (decoding and converting for drawing), the UI thread (painting) and
// the rest, and the wake-ups per picture of those three threads. The first
// second of pictures is left out of the cost.
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
#include <string>
#include <vector>

#include "app/live_window_gtk.h"
#include "app/live_view_window_gtk.h"
#include "app/quenlo_window_gtk.h"
#include "media/video_thread.h"
#include "support/camsim_process.h"
#include "support/ui_session.h"
#include "thread_cpu.h"
#include "time_stamp.h"

namespace {

// Stands between the decoder and the live window: reads each picture's stamp
// on its way to the window, numbered as the window numbers the pictures it
// is handed (from 1). Pictures decoded smaller than the stream's `stream`
// size are read where the stamp's blocks landed.
class StampReader : public ILiveTarget {
 public:
  StampReader(ILiveTarget& window, PictureSize stream) : window_(window), stream_(stream) {}
  bool IsVisible() const override { return window_.IsVisible(); }
  bool CreateSurface(int width, int height) override {
    return window_.CreateSurface(width, height);
  }
  void ReleaseSurface() override { window_.ReleaseSurface(); }
  PictureSize PictureArea() const override { return window_.PictureArea(); }
  bool DrawPicture(const BitmapInfo& info, const uint8_t* pixels) override {
    {
      // Known before the window can paint it.
      std::lock_guard<std::mutex> lock(mu_);
      stamps_.push_back(ReadPictureStamp(info, pixels));
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
  uint64_t ReadPictureStamp(const BitmapInfo& info, const uint8_t* pixels) const {
    const int width = info.header.width, rows = std::abs(info.header.height);
    const int bytes = info.header.bitCount / 8;
    const uint32_t stride = BitmapStride(info.header.bitCount, static_cast<uint32_t>(width));
    const bool bottom_up = info.header.height > 0;
    return camsim::ReadStamp(stream_.width, stream_.height, [&](int x, int y) {
      const int px = x * width / stream_.width, py = y * rows / stream_.height;
      const uint8_t* p =
          pixels + static_cast<size_t>(bottom_up ? rows - 1 - py : py) * stride + px * bytes;
      return (p[0] + p[1] + p[2]) / 3;
    });
  }

  ILiveTarget& window_;
  const PictureSize stream_;
  std::mutex mu_;
  std::vector<uint64_t> stamps_;  // guarded by mu_
};

struct Paint {
  uint64_t painted_us;
  uint64_t stamp;
};

// A live view under measurement: the window that shows the stream, the
// widget it paints in, and what it has painted. The wizard's small picture
// is one; a view of another size gets a class of its own.
// UI thread only, except Target, which the decode thread uses.
class LiveView {
 public:
  virtual ~LiveView() = default;
  virtual GtkWidget* Widget() = 0;
  virtual ILiveTarget* Target() = 0;
  virtual int Painted() = 0;           // pictures painted so far, each once
  virtual uint64_t LastPicture() = 0;  // see LivePictureGtk::LastPaintedPicture
  virtual void RunLoop() = 0;          // shows the view; returns after Quit
  virtual void Quit() = 0;
};

// The 160x120 picture over the page of the wizard's 800x600 window.
class SmallPicture : public LiveView {
 public:
  SmallPicture() : window_(gtk_label_new(""), true) {
    window_.SetClientSize(800, 600);
    window_.LiveWindow().Show();
  }
  GtkWidget* Widget() override { return window_.LiveWindow().Widget(); }
  ILiveTarget* Target() override { return window_.LiveWindow().Target(); }
  int Painted() override { return window_.LiveWindow().Live().frames; }
  uint64_t LastPicture() override { return window_.LiveWindow().Live().last_picture; }
  void RunLoop() override { window_.Run(); }
  void Quit() override { window_.PostQuit(0); }

 protected:
  QuenloWindowGtk window_;
};

// The same with the live viewer open: every picture is decoded whole and
// painted in both windows. The figures count the small picture's paints.
class SmallPictureAndViewer : public SmallPicture {
 public:
  SmallPictureAndViewer() : viewer_(window_.LiveWindow().Target(), window_.Toplevel()) {
    viewer_.Open();
  }
  ILiveTarget* Target() override { return viewer_.Target(); }

 private:
  LiveViewWindowGtk viewer_;
};

struct Run {
  StampReader* reader = nullptr;
  LiveView* view = nullptr;
  std::vector<pid_t> threads;  // stream, decode, UI
  uint64_t last_picture = 0;
  std::vector<Paint> paints;
  // The cost is counted from the first picture painted after the first second.
  int painted_at_start = -1;
  bench::CpuSnapshot start, end;
  int painted_at_end = 0;
};

// Runs after the live window has painted: records a picture not seen before.
gboolean AfterDraw(GtkWidget*, cairo_t*, gpointer data) {
  auto* run = static_cast<Run*>(data);
  const uint64_t picture = run->view->LastPicture();
  if (picture != run->last_picture) {
    run->last_picture = picture;
    run->paints.push_back({camsim::MonotonicMicros(), run->reader->Stamp(picture)});
    if (run->painted_at_start < 0 &&
        run->paints.back().painted_us >= run->paints.front().painted_us + 1000000) {
      run->painted_at_start = run->view->Painted();
      run->start = bench::CpuSnapshot::Take(run->threads);
    }
  }
  return FALSE;
}

gboolean EndRun(gpointer data) {
  auto* run = static_cast<Run*>(data);
  run->end = bench::CpuSnapshot::Take(run->threads);
  run->painted_at_end = run->view->Painted();
  run->view->Quit();
  return G_SOURCE_REMOVE;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

void PrintLatency(const char* size, const std::vector<Paint>& paints) {
  std::vector<double> latency_ms, first_ms, last_ms;
  std::set<uint32_t> frames;
  const uint64_t start = paints.empty() ? 0 : paints.front().painted_us;
  const uint64_t end = paints.empty() ? 0 : paints.back().painted_us;
  for (const Paint& p : paints) {
    const uint64_t sent = p.stamp & 0xFFFFFFFFFFFFull;
    const double ms = (static_cast<int64_t>(p.painted_us - sent)) / 1000.0;
    latency_ms.push_back(ms);
    if (p.painted_us < start + 10000000) first_ms.push_back(ms);
    if (p.painted_us + 10000000 > end) last_ms.push_back(ms);
    frames.insert(static_cast<uint32_t>(p.stamp >> 48));
  }
  // Frame numbers count every picture sent, painted or not (16 bits of them).
  const uint32_t first_frame = paints.empty() ? 0 : paints.front().stamp >> 48;
  const uint32_t last_frame = paints.empty() ? 0 : paints.back().stamp >> 48;
  const uint32_t sent_frames = ((last_frame - first_frame) & 0xFFFF) + 1;
  const double span = (end - start) / 1e6;
  std::printf("%-9s %9.1f %9.1f %8.1f%% %9.1f %9.1f %9.1f %10.1f %10.1f\n", size,
              span > 0 ? frames.size() / span : 0, span > 0 ? sent_frames / span : 0,
              100.0 * frames.size() / sent_frames, Percentile(latency_ms, 0.5),
              Percentile(latency_ms, 0.95), Percentile(latency_ms, 1.0), Percentile(first_ms, 0.5),
              Percentile(last_ms, 0.5));
}

// The cost line of one run: milliseconds of CPU and wake-ups per painted picture.
struct Cost {
  std::string size;
  int pictures = 0;
  double process_ms = 0;
  double thread_ms[3] = {};
  double wakeups[3] = {};
};

Cost CostOf(const char* size, const Run& run) {
  Cost c{size};
  c.pictures = run.painted_at_start < 0 ? 0 : run.painted_at_end - run.painted_at_start;
  if (c.pictures <= 0 || run.start.threads.size() != 3 || run.end.threads.size() != 3) return c;
  const double n = c.pictures;
  c.process_ms = (run.end.process_ns - run.start.process_ns) / 1e6 / n;
  for (int i = 0; i < 3; ++i) {
    c.thread_ms[i] = (run.end.threads[i].cpu_ns - run.start.threads[i].cpu_ns) / 1e6 / n;
    c.wakeups[i] = (run.end.threads[i].sleeps - run.start.threads[i].sleeps) / n;
  }
  return c;
}

void PrintCost(const Cost& c) {
  const double rest = c.process_ms - c.thread_ms[0] - c.thread_ms[1] - c.thread_ms[2];
  std::printf("%-9s %8d %8.2f %8.2f %8.2f %8.2f %8.2f %8.1f %8.1f %8.1f\n", c.size.c_str(),
              c.pictures, c.process_ms, c.thread_ms[0], c.thread_ms[1], c.thread_ms[2], rest,
              c.wakeups[0], c.wakeups[1], c.wakeups[2]);
}

// Shows the simulator's stream of `size` in `view` for `seconds`; false when
// the simulator did not start.
bool Measure(const char* size, double seconds, LiveView& view, std::vector<Cost>* costs) {
  testsupport::CamsimProcess sim({"--fps", "30", "--size", size, "--stamp", "time"});
  if (!sim.ok()) {
    std::fprintf(stderr, "%s\n", sim.error().c_str());
    return false;
  }
  PictureSize stream{0, 0};
  std::sscanf(size, "%dx%d", &stream.width, &stream.height);
  StampReader reader(*view.Target(), stream);
  Run run;
  run.reader = &reader;
  run.view = &view;
  g_signal_connect(view.Widget(), "draw", G_CALLBACK(AfterDraw), &run);
  NTavoVideoThread video;
  video.SetLiveWindow(&reader);
  video.SetCamera(L"127.0.0.1", sim.port(), L"kerut");
  video.Start();
  while (video.ThreadId() == 0 || (video.decoder() && video.decoder()->ThreadId() == 0))
    g_usleep(1000);
  run.threads = {static_cast<pid_t>(video.ThreadId()),
                 static_cast<pid_t>(video.decoder() ? video.decoder()->ThreadId() : 0), getpid()};
  g_timeout_add(static_cast<guint>(seconds * 1000), EndRun, &run);
  view.RunLoop();
  video.Stop();
  video.WaitForEnd();
  g_signal_handlers_disconnect_by_data(view.Widget(), &run);
  PrintLatency(size, run.paints);
  costs->push_back(CostOf(size, run));
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
  std::vector<Cost> small_costs, viewer_costs;
  for (const char* size : {"640x480", "1280x720"}) {
    SmallPicture view;
    if (!Measure(size, seconds, view, &small_costs)) return 1;
  }
  for (const char* size : {"640x480", "1280x720"}) {
    SmallPictureAndViewer view;
    if (!Measure(size, seconds, view, &viewer_costs)) return 1;
  }
  const std::pair<const char*, const std::vector<Cost>*> tables[] = {
      {"small picture (160x120)", &small_costs},
      {"small picture and the live viewer open at the picture's size", &viewer_costs}};
  for (const auto& [title, costs] : tables) {
    std::printf(
        "\n%s: CPU ms per painted picture (process; stream, decode and UI threads; the rest)\n"
        "and wake-ups per painted picture of those three threads\n",
        title);
    std::printf("%-9s %8s %8s %8s %8s %8s %8s %8s %8s %8s\n", "size", "pictures", "process",
                "stream", "decode", "UI", "rest", "wk strm", "wk dec", "wk UI");
    for (const Cost& c : *costs) PrintCost(c);
  }
  return 0;
}
