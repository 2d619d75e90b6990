#include "app/live_window_gtk.h"

#include <gtk/gtk.h>

#include "app/live_picture_gtk.h"

LiveWindowGtk::LiveWindowGtk(GtkWidget* overlay)
    : overlay_(overlay), area_(gtk_drawing_area_new()) {
  gtk_widget_set_size_request(area_, kWidth, kHeight);
  gtk_widget_set_halign(area_, GTK_ALIGN_START);
  gtk_widget_set_valign(area_, GTK_ALIGN_START);
  gtk_widget_set_margin_start(area_, kX);
  gtk_widget_set_margin_top(area_, kY);
  gtk_widget_set_no_show_all(area_, TRUE);
  picture_ = std::make_unique<LivePictureGtk>(area_);
  gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), area_);
}

LiveWindowGtk::~LiveWindowGtk() = default;

void LiveWindowGtk::Show() {
  gtk_widget_show(area_);
  picture_->SetShown(true);
}

void LiveWindowGtk::Hide() {
  picture_->SetShown(false);
  gtk_widget_hide(area_);
}

bool LiveWindowGtk::IsVisible() const { return gtk_widget_get_visible(area_); }

ILiveTarget* LiveWindowGtk::Target() { return picture_.get(); }

void LiveWindowGtk::SetStatusHandler(std::function<void(bool live)> handler) {
  picture_->SetStatusHandler(std::move(handler));
}

LiveWindowGtk::LiveState LiveWindowGtk::Live() const {
  LiveState state{
      IsVisible(), 0, 0, 0, 0, picture_->PaintedPictures(), picture_->LastPaintedPicture()};
  if (state.visible) {
    gtk_widget_translate_coordinates(area_, overlay_, 0, 0, &state.x, &state.y);
    state.width = gtk_widget_get_allocated_width(area_);
    state.height = gtk_widget_get_allocated_height(area_);
  }
  return state;
}
