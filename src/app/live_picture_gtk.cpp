#include "app/live_picture_gtk.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  static_cast<LivePictureGtk*>(data)->Paint(cr, gtk_widget_get_allocated_width(widget),
                                            gtk_widget_get_allocated_height(widget));
  return FALSE;  // handlers connected later may draw over it
}

void OnSizeAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer data) {
  const int scale = gtk_widget_get_scale_factor(widget);
  static_cast<LivePictureGtk*>(data)->Allocated(allocation->width * scale,
                                                allocation->height * scale);
}

gboolean OnRedrawIdle(gpointer data) {
  static_cast<LivePictureGtk*>(data)->RequestedRedraw();
  return G_SOURCE_REMOVE;
}

gboolean OnStatusIdle(gpointer data) {
  static_cast<LivePictureGtk*>(data)->ReportStatus();
  return G_SOURCE_REMOVE;
}

// Whether `r` leaves nothing of a `width` x `height` area uncovered.
bool Covers(const PictureRect& r, int width, int height) {
  return r.x <= 0 && r.y <= 0 && r.x + r.width >= width && r.y + r.height >= height;
}

}  // namespace

LivePictureGtk::LivePictureGtk(GtkWidget* area) : area_(area) {
  g_signal_connect(area_, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(area_, "size-allocate", G_CALLBACK(OnSizeAllocate), this);
}

LivePictureGtk::~LivePictureGtk() {
  while (g_idle_remove_by_data(this)) {
  }
  g_signal_handlers_disconnect_by_data(area_, this);
  for (cairo_surface_t* image : images_)
    if (image) cairo_surface_destroy(image);
}

void LivePictureGtk::Allocated(int width, int height) {
  area_width_.store(width);
  area_height_.store(height);
}

PictureSize LivePictureGtk::PictureArea() const {
  return {area_width_.load(), area_height_.load()};
}

bool LivePictureGtk::CreateSurface(int width, int height) {
  surface_width_ = width;
  surface_height_ = height;
  std::lock_guard<std::mutex> lock(mu_);
  has_picture_ = false;  // black until the first picture of this size
  front_new_ = false;
  return true;
}

void LivePictureGtk::ReleaseSurface() {
  surface_width_ = surface_height_ = 0;
  std::lock_guard<std::mutex> lock(mu_);
  has_picture_ = false;
  front_new_ = false;
  RequestRedrawLocked();
}

bool LivePictureGtk::DrawPicture(const BitmapInfo& info, const uint8_t* pixels) {
  const BitmapInfoHeader& h = info.header;
  if ((h.bitCount != 24 && h.bitCount != 32) || h.width != surface_width_ ||
      std::abs(h.height) != surface_height_ || surface_width_ <= 0 || surface_height_ <= 0) {
    return false;
  }
  FillBack(info, pixels);
  std::lock_guard<std::mutex> lock(mu_);
  pictures_[back_].sequence = ++drawn_;
  std::swap(back_, front_);
  front_new_ = true;
  has_picture_ = true;
  RequestRedrawLocked();
  return true;
}

// Writes the picture into the back buffer, which gets the surface's size
// (memory is allocated only when that changes).
void LivePictureGtk::FillBack(const BitmapInfo& info, const uint8_t* pixels) {
  Picture& back = pictures_[back_];
  const int width = surface_width_, height = surface_height_;
  if (back.width != width || back.height != height) {
    back.pixels.assign(static_cast<size_t>(width) * height, 0);
    back.width = width;
    back.height = height;
  }
  CopyToXrgb(info, pixels, back.pixels.data());
}

void LivePictureGtk::RequestRedrawLocked() {
  if (redraw_pending_) return;
  redraw_pending_ = true;
  g_idle_add(OnRedrawIdle, this);
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
// Black shows only where the picture does not cover the area.
void LivePictureGtk::Paint(cairo_t* cr, int client_width, int client_height) {
  cairo_surface_t* image = TakeFrontPicture() ? PaintingImage() : nullptr;
  const Picture& p = pictures_[painting_];
  const PictureRect r =
      image ? FitPicture(p.width, p.height, client_width, client_height) : PictureRect{0, 0, 0, 0};
  if (!Covers(r, client_width, client_height)) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
  }
  if (r.width <= 0 || r.height <= 0) return;
  cairo_save(cr);
  cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  cairo_clip(cr);
  cairo_translate(cr, r.x, r.y);
  if (r.width != p.width || r.height != p.height)
    cairo_scale(cr, static_cast<double>(r.width) / p.width,
                static_cast<double>(r.height) / p.height);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
}

// Makes the newest picture handed over the one to paint, if there is a
// newer one than that painted last. False when there is no picture to paint.
bool LivePictureGtk::TakeFrontPicture() {
  std::lock_guard<std::mutex> lock(mu_);
  if (has_picture_ != live_) {
    live_ = has_picture_;
    g_idle_add(OnStatusIdle, this);
  }
  if (!has_picture_) return false;
  if (front_new_) {
    // Cairo may keep a copy of what it painted from the image; the decode
    // thread is about to write into it.
    if (images_[painting_]) cairo_surface_flush(images_[painting_]);
    std::swap(front_, painting_);
    front_new_ = false;
    if (images_[painting_]) cairo_surface_mark_dirty(images_[painting_]);
    shown_sequence_ = pictures_[painting_].sequence;
    painted_.fetch_add(1);
  }
  return true;
}

// The picture to paint as a Cairo image over its own pixels, made anew only
// when they were reallocated; null when Cairo can't describe them.
cairo_surface_t* LivePictureGtk::PaintingImage() {
  Picture& p = pictures_[painting_];
  cairo_surface_t*& image = images_[painting_];
  auto* data = reinterpret_cast<unsigned char*>(p.pixels.data());
  if (image && cairo_image_surface_get_data(image) == data &&
      cairo_image_surface_get_width(image) == p.width &&
      cairo_image_surface_get_height(image) == p.height) {
    return image;
  }
  if (image) cairo_surface_destroy(image);
  image = nullptr;
  const int stride = p.width * 4;
  if (p.pixels.empty() || cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, p.width) != stride)
    return nullptr;
  image = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_RGB24, p.width, p.height, stride);
  return image;
}
