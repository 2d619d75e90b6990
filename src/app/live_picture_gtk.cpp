#include "app/live_picture_gtk.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>

namespace {

gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  static_cast<LivePictureGtk*>(data)->Paint(cr, gtk_widget_get_allocated_width(widget),
                                            gtk_widget_get_allocated_height(widget));
  return FALSE;  // handlers connected later may draw over it
}

gboolean OnRedrawIdle(gpointer data) {
  static_cast<LivePictureGtk*>(data)->RequestedRedraw();
  return G_SOURCE_REMOVE;
}

gboolean OnStatusIdle(gpointer data) {
  static_cast<LivePictureGtk*>(data)->ReportStatus();
  return G_SOURCE_REMOVE;
}

}  // namespace

LivePictureGtk::LivePictureGtk(GtkWidget* area) : area_(area) {
  g_signal_connect(area_, "draw", G_CALLBACK(OnDraw), this);
}

LivePictureGtk::~LivePictureGtk() {
  while (g_idle_remove_by_data(this)) {
  }
  g_signal_handlers_disconnect_by_data(area_, this);
  if (shown_image_) cairo_surface_destroy(shown_image_);
}

bool LivePictureGtk::CreateSurface(int width, int height) {
  const size_t count = static_cast<size_t>(width) * height;
  back_.pixels.assign(count, 0xFF000000u);
  back_.width = width;
  back_.height = height;
  std::lock_guard<std::mutex> lock(mu_);
  front_.pixels.assign(count, 0xFF000000u);
  front_.width = width;
  front_.height = height;
  front_.sequence = 0;
  return true;
}

void LivePictureGtk::ReleaseSurface() {
  back_ = Picture{};
  std::lock_guard<std::mutex> lock(mu_);
  front_ = Picture{};
  if (!redraw_pending_) {
    redraw_pending_ = true;
    g_idle_add(OnRedrawIdle, this);
  }
}

bool LivePictureGtk::DrawPicture(const BitmapInfo& info, const uint8_t* pixels) {
  if (info.header.bitCount != 24 || info.header.width != back_.width ||
      std::abs(info.header.height) != back_.height || back_.pixels.empty()) {
    return false;
  }
  CopyToXrgb(info, pixels, back_.pixels.data());
  std::lock_guard<std::mutex> lock(mu_);
  back_.sequence = ++drawn_;
  std::swap(back_, front_);
  if (!redraw_pending_) {
    redraw_pending_ = true;
    g_idle_add(OnRedrawIdle, this);
  }
  return true;
}

void LivePictureGtk::RequestedRedraw() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    redraw_pending_ = false;
  }
  gtk_widget_queue_draw(area_);
}

void LivePictureGtk::ReportStatus() {
  if (live_ == reported_) return;
  reported_ = live_;
  if (status_handler_) status_handler_(live_);
}

// Painting can't wait for the page: the status goes to it from an idle.
void LivePictureGtk::Paint(cairo_t* cr, int client_width, int client_height) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  if (!TakeFrontPicture()) return;
  const int width = cairo_image_surface_get_width(shown_image_);
  const int height = cairo_image_surface_get_height(shown_image_);
  const PictureRect r = FitPicture(width, height, client_width, client_height);
  if (r.width <= 0 || r.height <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  cairo_clip(cr);
  cairo_translate(cr, r.x, r.y);
  cairo_scale(cr, static_cast<double>(r.width) / width, static_cast<double>(r.height) / height);
  cairo_set_source_surface(cr, shown_image_, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
}

// Copies a new front picture into the image the UI thread paints (kept
// across paints, made anew only for another size). False when there is no
// picture to paint.
bool LivePictureGtk::TakeFrontPicture() {
  std::lock_guard<std::mutex> lock(mu_);
  const bool live = front_.sequence != 0;
  if (live != live_) {
    live_ = live;
    g_idle_add(OnStatusIdle, this);
  }
  if (!live) return false;
  const int width = front_.width, height = front_.height;
  if (!shown_image_ || cairo_image_surface_get_width(shown_image_) != width ||
      cairo_image_surface_get_height(shown_image_) != height) {
    if (shown_image_) cairo_surface_destroy(shown_image_);
    shown_image_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    shown_sequence_ = 0;
  }
  if (front_.sequence == shown_sequence_) return true;
  cairo_surface_flush(shown_image_);
  unsigned char* data = cairo_image_surface_get_data(shown_image_);
  if (!data) return false;
  const int stride = cairo_image_surface_get_stride(shown_image_);
  for (int y = 0; y < height; ++y) {
    std::memcpy(data + static_cast<size_t>(y) * stride,
                front_.pixels.data() + static_cast<size_t>(y) * width,
                static_cast<size_t>(width) * 4);
  }
  cairo_surface_mark_dirty(shown_image_);
  shown_sequence_ = front_.sequence;
  painted_.fetch_add(1);
  return true;
}
