#include "app/live_view_window_gtk.h"

#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/picture_file.h"

namespace {

constexpr int kFiguresEveryMs = 500;
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  static_cast<LiveViewWindowGtk*>(data)->Paint(cr);
  return FALSE;
}

gboolean OnRedrawIdle(gpointer data) {
  static_cast<LiveViewWindowGtk*>(data)->RequestedRedraw();
  return G_SOURCE_REMOVE;
}

gboolean OnFiguresTick(gpointer data) {
  static_cast<LiveViewWindowGtk*>(data)->ShowFigures();
  return G_SOURCE_CONTINUE;
}

// The window's close button and Escape close the viewer; it is kept for the
// next opening.
gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
  static_cast<LiveViewWindowGtk*>(data)->Close();
  return TRUE;
}

gboolean OnViewerKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  static_cast<LiveViewWindowGtk*>(data)->Close();
  return TRUE;
}

void OnMuteToggledSignal(GtkToggleButton*, gpointer data) {
  static_cast<LiveViewWindowGtk*>(data)->OnMuteToggled();
}

void OnSaveClicked(GtkButton*, gpointer data) {
  static_cast<LiveViewWindowGtk*>(data)->SavePicture();
}

gboolean OnPictureButton(GtkWidget*, GdkEventButton* event, gpointer data) {
  if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY) return FALSE;
  static_cast<LiveViewWindowGtk*>(data)->Open();
  return TRUE;
}

gboolean OnPictureKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  const guint key = event->keyval;
  if (key != GDK_KEY_Return && key != GDK_KEY_KP_Enter && key != GDK_KEY_space) return FALSE;
  static_cast<LiveViewWindowGtk*>(data)->Open();
  return TRUE;
}

// Drawn over the picture (its own handler runs first): where the keyboard is.
gboolean OnPictureDrawFocus(GtkWidget* widget, cairo_t* cr, gpointer) {
  if (gtk_widget_has_visible_focus(widget)) {
    gtk_render_focus(gtk_widget_get_style_context(widget), cr, 1, 1,
                     gtk_widget_get_allocated_width(widget) - 2,
                     gtk_widget_get_allocated_height(widget) - 2);
  }
  return FALSE;
}

// The user's Pictures folder, or ~/Pictures where the desktop names none;
// made when missing. Empty when it can't be made.
std::string PicturesFolder() {
  const char* special = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
  std::string folder = special && *special ? special : std::string(g_get_home_dir()) + "/Pictures";
  if (g_mkdir_with_parents(folder.c_str(), 0755) != 0) return "";
  return folder;
}

// A path in `folder` for a picture of `camera` taken now that names no file
// yet; empty when there is none.
std::string NewPicturePath(const std::string& folder, const std::string& camera) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FreePicturePath(folder, PictureFileName(camera, local), [](const std::string& path) {
    return g_file_test(path.c_str(), G_FILE_TEST_EXISTS) != 0;
  });
}

}  // namespace

LiveViewWindowGtk::LiveViewWindowGtk(ILiveTarget* small_target, GtkWidget* parent)
    : fan_out_(small_target) {
  Build(parent);
}

LiveViewWindowGtk::~LiveViewWindowGtk() {
  Close();
  while (g_idle_remove_by_data(this)) {
  }
  gtk_widget_destroy(window_);
  if (shown_image_) cairo_surface_destroy(shown_image_);
}

void LiveViewWindowGtk::Build(GtkWidget* parent) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), "Live picture");
  if (parent) gtk_window_set_transient_for(GTK_WINDOW(window_), GTK_WINDOW(parent));
  gtk_window_set_default_size(GTK_WINDOW(window_), kDefaultWidth, kDefaultHeight);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  area_ = gtk_drawing_area_new();
  gtk_widget_set_size_request(area_, 160, 120);
  gtk_box_pack_start(GTK_BOX(box), area_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(box), BuildBar(), FALSE, FALSE, 0);
  note_ = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(note_), 0);
  gtk_label_set_selectable(GTK_LABEL(note_), TRUE);
  gtk_label_set_ellipsize(GTK_LABEL(note_), PANGO_ELLIPSIZE_MIDDLE);
  gtk_widget_set_margin_start(note_, 6);
  gtk_widget_set_margin_bottom(note_, 6);
  gtk_box_pack_start(GTK_BOX(box), note_, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  gtk_widget_show_all(box);
  g_signal_connect(area_, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDeleteEvent), this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(OnViewerKey), this);
}

// The figures, the mute toggle and "Save picture", in one row.
GtkWidget* LiveViewWindowGtk::BuildBar() {
  GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_container_set_border_width(GTK_CONTAINER(bar), 6);
  figures_ = gtk_label_new("Waiting for pictures\u2026");
  gtk_label_set_xalign(GTK_LABEL(figures_), 0);
  // Cut rather than widen the window: at scale 2 a 640-pixel picture leaves
  // 320 window pixels for the bar.
  gtk_label_set_ellipsize(GTK_LABEL(figures_), PANGO_ELLIPSIZE_END);
  gtk_box_pack_start(GTK_BOX(bar), figures_, TRUE, TRUE, 0);
  mute_ = gtk_toggle_button_new_with_mnemonic("_Mute sound");
  GtkWidget* save = gtk_button_new_with_mnemonic("_Save picture");
  gtk_box_pack_start(GTK_BOX(bar), mute_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar), save, FALSE, FALSE, 0);
  g_signal_connect(mute_, "toggled", G_CALLBACK(OnMuteToggledSignal), this);
  g_signal_connect(save, "clicked", G_CALLBACK(OnSaveClicked), this);
  return bar;
}

void LiveViewWindowGtk::OpenFrom(GtkWidget* picture) {
  gtk_widget_set_can_focus(picture, TRUE);
  gtk_widget_add_events(picture, GDK_BUTTON_PRESS_MASK | GDK_KEY_PRESS_MASK);
  gtk_widget_set_tooltip_text(picture, "Click to see the live picture larger");
  atk_object_set_name(gtk_widget_get_accessible(picture), "Live picture: press Enter to enlarge");
  g_signal_connect(picture, "button-press-event", G_CALLBACK(OnPictureButton), this);
  g_signal_connect(picture, "key-press-event", G_CALLBACK(OnPictureKey), this);
  g_signal_connect(picture, "draw", G_CALLBACK(OnPictureDrawFocus), nullptr);
}

// The figures start afresh with each opening; the window takes the size of
// the first picture it paints.
void LiveViewWindowGtk::Open() {
  if (open_.load()) {
    gtk_window_present(GTK_WINDOW(window_));
    return;
  }
  frames_ = 0;
  meter_ = LiveRateMeter{};
  fitted_width_ = fitted_height_ = 0;
  SetNote("");
  const std::string camera = name_source_ ? name_source_() : "";
  // The name is the camera's: isolated for direction (first strong isolate
  // ... pop directional isolate), so that nothing in it reorders the rest.
  gtk_window_set_title(
      GTK_WINDOW(window_),
      camera.empty() ? "Live picture" : ("\u2068" + camera + "\u2069 \u2014 live picture").c_str());
  open_.store(true);
  fan_out_.Attach(this);
  gtk_widget_show(window_);
  gtk_window_present(GTK_WINDOW(window_));
  ShowFigures();
  figures_timer_ = g_timeout_add(kFiguresEveryMs, OnFiguresTick, this);
}

void LiveViewWindowGtk::Close() {
  if (!open_.load()) return;
  open_.store(false);
  fan_out_.Detach();  // the decode thread no longer draws here once it returns
  if (figures_timer_) g_source_remove(figures_timer_);
  figures_timer_ = 0;
  gtk_widget_hide(window_);
}

void LiveViewWindowGtk::ShowMuted(bool muted) {
  showing_muted_ = true;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(mute_), muted);
  gtk_button_set_label(GTK_BUTTON(mute_), muted ? "Un_mute sound" : "_Mute sound");
  gtk_button_set_use_underline(GTK_BUTTON(mute_), TRUE);
  showing_muted_ = false;
}

void LiveViewWindowGtk::PressMute() { gtk_button_clicked(GTK_BUTTON(mute_)); }

// The dialog decides: its answer comes back through ShowMuted.
void LiveViewWindowGtk::OnMuteToggled() {
  if (showing_muted_) return;
  const bool muted = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(mute_));
  if (mute_handler_) {
    mute_handler_(muted);
  } else {
    ShowMuted(muted);
  }
}

std::string LiveViewWindowGtk::SavePicture() {
  if (!shown_image_ || shown_sequence_ == 0) {
    SetNote("No picture to save yet.");
    return "";
  }
  const std::string folder = PicturesFolder();
  const std::string path =
      folder.empty() ? "" : NewPicturePath(folder, name_source_ ? name_source_() : "");
  if (path.empty() ||
      cairo_surface_write_to_png(shown_image_, path.c_str()) != CAIRO_STATUS_SUCCESS) {
    SetNote("The picture could not be saved in " +
            (folder.empty() ? "the Pictures folder" : folder) + ".");
    return "";
  }
  saved_ = path;
  SetNote("Saved to " + path);
  return path;
}

void LiveViewWindowGtk::SetNote(const std::string& text) {
  gtk_label_set_text(GTK_LABEL(note_), text.c_str());
}

void LiveViewWindowGtk::ShowFigures() {
  const LiveRateMeter::Figures f = meter_.Read(std::chrono::steady_clock::now());
  char text[96];
  if (f.frames_per_second == 0) {
    std::snprintf(text, sizeof text, "Waiting for pictures\u2026");
  } else if (f.median_latency_ms < 0) {
    std::snprintf(text, sizeof text, "%d frames/s", f.frames_per_second);
  } else {
    std::snprintf(text, sizeof text, "%d frames/s \u00b7 %.0f ms from arrival to screen",
                  f.frames_per_second, f.median_latency_ms);
  }
  gtk_label_set_text(GTK_LABEL(figures_), text);
}

LiveViewWindowGtk::State LiveViewWindowGtk::Read() {
  State s;
  s.open = open_.load();
  s.width = gtk_widget_get_allocated_width(area_);
  s.height = gtk_widget_get_allocated_height(area_);
  if (shown_image_) {
    s.picture_width = cairo_image_surface_get_width(shown_image_);
    s.picture_height = cairo_image_surface_get_height(shown_image_);
  }
  s.drawn_width = drawn_width_;
  s.drawn_height = drawn_height_;
  s.frames = frames_;
  s.figures = meter_.Read(std::chrono::steady_clock::now());
  s.muted = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(mute_));
  s.saved = saved_;
  s.note = gtk_label_get_text(GTK_LABEL(note_));
  return s;
}

// ---- The decode thread's side ----

bool LiveViewWindowGtk::CreateSurface(int width, int height) {
  const size_t count = static_cast<size_t>(width) * height;
  back_.pixels.assign(count, 0xFF000000u);
  back_.width = width;
  back_.height = height;
  std::lock_guard<std::mutex> lock(mu_);
  front_ = back_;
  front_.sequence = 0;
  return true;
}

// The viewer keeps the last picture (to save it) until pictures come again.
void LiveViewWindowGtk::ReleaseSurface() { back_ = Picture{}; }

bool LiveViewWindowGtk::DrawPicture(const BitmapInfo& info, const uint8_t* pixels) {
  return DrawArrivedPicture(info, pixels, {});
}

bool LiveViewWindowGtk::DrawArrivedPicture(const BitmapInfo& info, const uint8_t* pixels,
                                           std::chrono::steady_clock::time_point arrival) {
  if ((info.header.bitCount != 24 && info.header.bitCount != 32) ||
      info.header.width != back_.width || std::abs(info.header.height) != back_.height ||
      back_.pixels.empty()) {
    return false;
  }
  CopyToXrgb(info, pixels, back_.pixels.data());
  back_.arrival = arrival;
  std::lock_guard<std::mutex> lock(mu_);
  back_.sequence = ++drawn_;
  std::swap(back_, front_);
  RequestRedraw();
  return true;
}

void LiveViewWindowGtk::RequestRedraw() {
  if (redraw_pending_) return;
  redraw_pending_ = true;
  g_idle_add(OnRedrawIdle, this);
}

// ---- The UI thread's side ----

void LiveViewWindowGtk::RequestedRedraw() {
  int width = 0, height = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    redraw_pending_ = false;
    width = front_.width;
    height = front_.height;
  }
  if (width > 0 && open_.load() && (width != fitted_width_ || height != fitted_height_))
    FitWindowToPicture(width, height);
  gtk_widget_queue_draw(area_);
}

// The picture area takes the picture's size in device pixels (half as many
// window pixels at scale 2); what lies around it keeps its own.
void LiveViewWindowGtk::FitWindowToPicture(int width, int height) {
  fitted_width_ = width;
  fitted_height_ = height;
  const int scale = gtk_widget_get_scale_factor(area_);
  int window_width = 0, window_height = 0;
  gtk_window_get_size(GTK_WINDOW(window_), &window_width, &window_height);
  const int extra_width = window_width - gtk_widget_get_allocated_width(area_);
  const int extra_height = window_height - gtk_widget_get_allocated_height(area_);
  gtk_window_resize(GTK_WINDOW(window_), width / scale + std::max(extra_width, 0),
                    height / scale + std::max(extra_height, 0));
}

// Fitted in device pixels, so that at scale 2 the picture's own size is
// drawn pixel for pixel, not doubled from a half-size copy.
void LiveViewWindowGtk::Paint(cairo_t* cr) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  if (!TakeFrontPicture()) return;
  const int scale = gtk_widget_get_scale_factor(area_);
  const int width = cairo_image_surface_get_width(shown_image_);
  const int height = cairo_image_surface_get_height(shown_image_);
  const PictureRect r = FitPicture(width, height, gtk_widget_get_allocated_width(area_) * scale,
                                   gtk_widget_get_allocated_height(area_) * scale);
  drawn_width_ = r.width;
  drawn_height_ = r.height;
  if (r.width <= 0 || r.height <= 0) return;
  cairo_save(cr);
  cairo_scale(cr, 1.0 / scale, 1.0 / scale);
  cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  cairo_clip(cr);
  cairo_translate(cr, r.x, r.y);
  cairo_scale(cr, static_cast<double>(r.width) / width, static_cast<double>(r.height) / height);
  cairo_set_source_surface(cr, shown_image_, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr),
                           r.width == width ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);
}

// Copies a new front picture into the painted image and counts its paint
// (with its latency). False when there is no picture to paint.
bool LiveViewWindowGtk::TakeFrontPicture() {
  std::lock_guard<std::mutex> lock(mu_);
  if (front_.sequence == 0) return shown_image_ != nullptr && shown_sequence_ != 0;
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
  ++frames_;
  meter_.AddPaint(std::chrono::steady_clock::now(), front_.arrival);
  return true;
}

void LiveWindowWithViewer::Hide() {
  viewer_.Close();
  small_.Hide();
}
