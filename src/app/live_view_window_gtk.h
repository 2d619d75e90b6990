// The live viewer: a resizable window of its own that shows the camera's
// stream at the picture's own size, with its frame rate and latency, the
// sound's mute toggle and "Save picture". Opened from the small live picture
// of the finish page, which goes on drawing meanwhile.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/dialog_window.h"
#include "media/live_rate_meter.h"
#include "media/live_target_fan_out.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

// Threads: everything on the UI thread except the ILiveTarget methods, which
// the decode thread calls through the fan-out (Target()) while the viewer is
// open. The picture travels as in LivePictureGtk: converted into back_ on the
// decode thread, swapped with front_ under mu_, painted from an idle redraw.
// back_ and drawn_ are touched only through the fan-out, under its lock (the
// decode thread's calls, and the surface given back when Close detaches).
// Lives until every decode thread drawing into Target() has ended.
class LiveViewWindowGtk : public ILiveTarget {
 public:
  // `small_target` is the finish page's picture, which keeps every picture;
  // `parent` the wizard's window, which the viewer stays above.
  LiveViewWindowGtk(ILiveTarget* small_target, GtkWidget* parent);
  ~LiveViewWindowGtk() override;
  LiveViewWindowGtk(const LiveViewWindowGtk&) = delete;
  LiveViewWindowGtk& operator=(const LiveViewWindowGtk&) = delete;

  // What the decode thread draws into: the small picture and, while open, this.
  ILiveTarget* Target() { return &fan_out_; }
  // Makes `picture` (the small picture's widget) open the viewer when it is
  // clicked or Enter or Space is pressed on it.
  void OpenFrom(GtkWidget* picture);
  // Receives the toggle's new state when the person presses it.
  void SetMuteHandler(std::function<void(bool muted)> handler) {
    mute_handler_ = std::move(handler);
  }
  // The camera's name (UTF-8) that saved pictures are named with.
  void SetCameraNameSource(std::function<std::string()> source) {
    name_source_ = std::move(source);
  }

  void Open();
  // Hides the window and stops taking pictures; nothing when closed.
  void Close();
  bool IsOpen() const { return open_.load(); }
  // Shows `muted` on the toggle without reporting it back.
  void ShowMuted(bool muted);
  // As a click on the toggle.
  void PressMute();
  // Writes the last picture painted as a PNG into the Pictures folder and
  // says where in the window: its path, or empty (the window says why).
  std::string SavePicture();

  // For automation.
  struct State {
    bool open = false;
    int width = 0, height = 0;                  // the picture area, in window pixels
    int picture_width = 0, picture_height = 0;  // the last picture painted
    int drawn_width = 0, drawn_height = 0;      // where it went, in device pixels
    int frames = 0;                             // pictures painted since opened
    LiveRateMeter::Figures figures;
    bool muted = false;
    std::string saved;  // the last picture saved; empty when none
    std::string note;   // what the window says under the picture
  };
  State Read();
  GtkWidget* Window() const { return window_; }

  // ILiveTarget (decode thread). Visible while open.
  bool IsVisible() const override { return open_.load(); }
  bool CreateSurface(int width, int height) override;
  void ReleaseSurface() override;
  bool DrawPicture(const BitmapInfo& info, const uint8_t* pixels) override;
  bool DrawArrivedPicture(const BitmapInfo& info, const uint8_t* pixels,
                          std::chrono::steady_clock::time_point arrival) override;

  // Signal and idle handlers (UI thread).
  void Paint(cairo_t* cr);
  void RequestedRedraw();
  void OnMuteToggled();
  void ShowFigures();

 private:
  struct Picture {
    std::vector<uint32_t> pixels;  // 0xFFRRGGBB, top row first
    int width = 0, height = 0;
    uint64_t sequence = 0;  // 0: none
    std::chrono::steady_clock::time_point arrival{};
  };

  void Build(GtkWidget* parent);
  GtkWidget* BuildBar();
  bool TakeFrontPicture();
  void FitWindowToPicture(int width, int height);
  void SetNote(const std::string& text);
  void RequestRedraw();  // mu_ held

  LiveTargetFanOut fan_out_;
  std::atomic<bool> open_{false};
  Picture back_;        // under the fan-out's lock
  uint64_t drawn_ = 0;  // under the fan-out's lock: pictures handed over
  std::mutex mu_;
  Picture front_;                // guarded by mu_
  bool redraw_pending_ = false;  // guarded by mu_

  // UI thread only.
  GtkWidget* window_ = nullptr;
  GtkWidget* area_ = nullptr;
  GtkWidget* figures_ = nullptr;
  GtkWidget* mute_ = nullptr;
  GtkWidget* note_ = nullptr;
  cairo_surface_t* shown_image_ = nullptr;
  uint64_t shown_sequence_ = 0;
  // The picture size the window took since it opened (0: none yet). A
  // picture of another size (the small picture's, decoded before the viewer
  // opened, then the stream's own) sizes it again.
  int fitted_width_ = 0, fitted_height_ = 0;
  bool showing_muted_ = false;
  unsigned figures_timer_ = 0;
  int frames_ = 0;
  int drawn_width_ = 0, drawn_height_ = 0;
  LiveRateMeter meter_;
  std::string saved_;
  std::function<void(bool)> mute_handler_;
  std::function<std::string()> name_source_;
};

// The finish page's live window as the dialog sees it, with the viewer: its
// pictures go to both, hiding it closes the viewer, and the mute state shows
// on the viewer's toggle. UI thread.
class LiveWindowWithViewer : public ILiveWindow {
 public:
  LiveWindowWithViewer(ILiveWindow& small, LiveViewWindowGtk& viewer)
      : small_(small), viewer_(viewer) {}
  void Show() override { small_.Show(); }
  void Hide() override;
  bool IsVisible() const override { return small_.IsVisible(); }
  ILiveTarget* Target() override { return viewer_.Target(); }
  void ShowMuted(bool muted) override { viewer_.ShowMuted(muted); }

 private:
  ILiveWindow& small_;
  LiveViewWindowGtk& viewer_;
};
