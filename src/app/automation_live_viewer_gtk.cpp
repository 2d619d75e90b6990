// The automation socket's "live-…" commands: they open the live viewer as a
// person does (a click or Enter on the small picture), press its buttons and
// read what it shows.
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <nlohmann/json.hpp>

#include "app/automation_commands_webkit.h"
#include "app/automation_request.h"
#include "app/json_text.h"
#include "app/live_view_window_gtk.h"
#include "app/live_window_gtk.h"
#include "app/quenlo_window_gtk.h"

using nlohmann::json;

namespace {

std::string Ok(json reply) {
  reply["ok"] = true;
  return DumpJson(reply);
}

// Hands the picture's widget a primary click or an Enter press, through
// the handlers a real one reaches. False when the picture is not shown.
bool PressOnPicture(GtkWidget* picture, bool key) {
  GdkWindow* gdk = gtk_widget_get_window(picture);
  if (!gdk || !gtk_widget_is_visible(picture)) return false;
  GdkEvent* event = gdk_event_new(key ? GDK_KEY_PRESS : GDK_BUTTON_PRESS);
  event->any.window = GDK_WINDOW(g_object_ref(gdk));
  GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(gdk));
  if (key) {
    gtk_widget_grab_focus(picture);
    event->key.keyval = GDK_KEY_Return;
    gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
  } else {
    event->button.button = GDK_BUTTON_PRIMARY;
    gdk_event_set_device(event, gdk_seat_get_pointer(seat));
  }
  gtk_widget_event(picture, event);
  gdk_event_free(event);
  return true;
}

// The viewer's window drawn anew into a PNG at device pixels; false when
// it is not shown or the file can't be written.
bool WriteViewerPng(GtkWidget* window, const std::string& path) {
  if (!gtk_widget_get_visible(window)) return false;
  const int scale = gtk_widget_get_scale_factor(window);
  cairo_surface_t* image =
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, gtk_widget_get_allocated_width(window) * scale,
                                 gtk_widget_get_allocated_height(window) * scale);
  cairo_surface_set_device_scale(image, scale, scale);
  cairo_t* cr = cairo_create(image);
  gtk_widget_draw(window, cr);
  cairo_destroy(cr);
  const bool written = cairo_surface_write_to_png(image, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(image);
  return written;
}

json ViewerJson(LiveViewWindowGtk& viewer) {
  const LiveViewWindowGtk::State s = viewer.Read();
  return {{"open", s.open},
          {"width", s.width},
          {"height", s.height},
          {"picture_width", s.picture_width},
          {"picture_height", s.picture_height},
          {"drawn_width", s.drawn_width},
          {"drawn_height", s.drawn_height},
          {"frames", s.frames},
          {"fps", s.figures.frames_per_second},
          {"latency_ms", s.figures.median_latency_ms},
          {"muted", s.muted},
          {"saved", s.saved},
          {"note", s.note}};
}

}  // namespace

bool AutomationCommands::HandleLiveViewer(const AutomationRequest& request, const Reply& reply) {
  const std::string& cmd = request.cmd;
  if (cmd.rfind("live-", 0) != 0) return false;
  if (!viewer_) {
    reply(AutomationErrorReply("no live viewer"));
  } else if (cmd == "live-open") {
    const bool pressed = PressOnPicture(window_.LiveWindow().Widget(), request.button == "Enter");
    reply(pressed ? Ok(ViewerJson(*viewer_)) : AutomationErrorReply("the live picture is hidden"));
  } else if (cmd == "live-mute") {
    viewer_->PressMute();
    reply(Ok(ViewerJson(*viewer_)));
  } else if (cmd == "live-save") {
    const std::string path = viewer_->SavePicture();
    reply(path.empty() ? AutomationErrorReply(viewer_->Read().note) : Ok({{"path", path}}));
  } else if (cmd == "live-screenshot") {
    reply(WriteViewerPng(viewer_->Window(), request.path) ? Ok(json::object())
                                                          : AutomationErrorReply("no screenshot"));
  } else if (cmd == "live-close") {
    viewer_->Close();
    reply(Ok(ViewerJson(*viewer_)));
  } else {
    reply(Ok(ViewerJson(*viewer_)));  // live-viewer
  }
  return true;
}
