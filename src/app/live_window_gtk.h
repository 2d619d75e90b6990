// The 160x120 live picture window, a drawing area laid over the page view.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "app/dialog_window.h"

typedef struct _GtkWidget GtkWidget;
class LivePictureGtk;

// Threads: UI thread only; the decode thread reaches only Target(), the
// LivePictureGtk, whose comment says how the pictures are handed over.
class LiveWindowGtk : public ILiveWindow {
 public:
  static constexpr int kX = 490;
  static constexpr int kY = 60;
  static constexpr int kWidth = 160;
  static constexpr int kHeight = 120;

  // Adds the window, hidden, to `overlay` (a GtkOverlay over the page view),
  // which outlives this object: the picture takes its handlers off the
  // drawing area when this object goes.
  explicit LiveWindowGtk(GtkWidget* overlay);
  ~LiveWindowGtk() override;
  LiveWindowGtk(const LiveWindowGtk&) = delete;
  LiveWindowGtk& operator=(const LiveWindowGtk&) = delete;

  // ILiveWindow
  void Show() override;
  void Hide() override;
  bool IsVisible() const override;
  ILiveTarget* Target() override;

  // Receives, on the UI thread, whether the live picture is being painted.
  void SetStatusHandler(std::function<void(bool live)> handler);

  // For automation: where it is in the page view's coordinates (all 0 while
  // hidden) and what it has painted.
  struct LiveState {
    bool visible;
    int x, y, width, height;
    int frames;             // pictures painted so far
    uint64_t last_picture;  // see LivePictureGtk::LastPaintedPicture
  };
  LiveState Live() const;
  GtkWidget* Widget() const { return area_; }

 private:
  GtkWidget* overlay_;
  GtkWidget* area_;
  std::unique_ptr<LivePictureGtk> picture_;
};
