// The live window's picture on GTK: the decode thread hands each picture
// over under a lock, the drawing area paints the newest one on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "media/live_target.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

// Threads: the constructor, the destructor, SetShown and the painting run on
// the UI thread; the ILiveTarget methods on the decode thread. Three picture
// buffers change hands by index, so that no picture is copied on the UI
// thread and neither thread waits while the other copies or paints: the
// decode thread writes into the back one and swaps it with the front one
// under mu_; the UI thread swaps the front one, when it is newer, with the
// one it paints, also under mu_, and paints that one without the lock. At
// most one redraw request is pending at a time. The destructor runs after
// every decode thread using this object has ended.
class LivePictureGtk : public ILiveTarget {
 public:
  // Paints `area` (a drawing area) from now on: black, with the picture
  // fitted in and centred, scaled nearest-neighbour.
  explicit LivePictureGtk(GtkWidget* area);
  ~LivePictureGtk() override;
  LivePictureGtk(const LivePictureGtk&) = delete;
  LivePictureGtk& operator=(const LivePictureGtk&) = delete;

  // Receives, on the UI thread, whether pictures are being painted: true
  // after the first one, false once the surface is given back.
  void SetStatusHandler(std::function<void(bool live)> handler) {
    status_handler_ = std::move(handler);
  }
  // Follows the window's visibility, for IsVisible.
  void SetShown(bool shown) { shown_.store(shown); }
  // Pictures painted so far, each counted once.
  int PaintedPictures() const { return painted_.load(); }
  // UI thread: which picture was painted last, counting the pictures handed
  // over from 1; 0 before the first.
  uint64_t LastPaintedPicture() const { return shown_sequence_; }

  // ILiveTarget
  bool IsVisible() const override { return shown_.load(); }
  bool CreateSurface(int width, int height) override;
  void ReleaseSurface() override;
  bool DrawPicture(const BitmapInfo& info, const uint8_t* pixels) override;
  PictureSize PictureArea() const override;

  // The drawing area's "draw" handler.
  void Paint(cairo_t* cr, int client_width, int client_height);
  // The redraw request, on the UI thread.
  void RequestedRedraw();
  // Tells the status handler what was painted last.
  void ReportStatus();
  // The drawing area's "size-allocate" handler: the area in device pixels.
  void Allocated(int width, int height);

 private:
  struct Picture {
    std::vector<uint32_t> pixels;  // 0xXXRRGGBB, top row first
    int width = 0, height = 0;
    uint64_t sequence = 0;  // which picture
  };

  void FillBack(const BitmapInfo& info, const uint8_t* pixels);
  void RequestRedrawLocked();
  bool TakeFrontPicture();
  cairo_surface_t* PaintingImage();

  GtkWidget* area_;
  std::atomic<bool> shown_{false};
  std::atomic<int> painted_{0};
  std::atomic<int> area_width_{0}, area_height_{0};
  Picture pictures_[3];
  int back_ = 0;                                // decode thread only: the picture being written
  int surface_width_ = 0, surface_height_ = 0;  // decode thread only
  uint64_t drawn_ = 0;  // decode thread only: pictures handed over, never reset
  std::mutex mu_;
  int front_ = 1;                // guarded by mu_: the newest picture handed over
  bool front_new_ = false;       // guarded by mu_: not painted yet
  bool has_picture_ = false;     // guarded by mu_: the surface holds a picture
  bool redraw_pending_ = false;  // guarded by mu_
  // UI thread only: the picture being painted, and each picture as a Cairo
  // image made for its pixels (remade when they were reallocated).
  int painting_ = 2;
  cairo_surface_t* images_[3] = {};
  uint64_t shown_sequence_ = 0;
  std::function<void(bool)> status_handler_;
  bool live_ = false;      // pictures are being painted
  bool reported_ = false;  // what the handler was told last
};
