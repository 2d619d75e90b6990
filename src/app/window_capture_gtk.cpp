#include "app/window_capture_gtk.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

namespace {

bool OnWayland(GtkWidget* window) {
#ifdef GDK_WINDOWING_WAYLAND
  return GDK_IS_WAYLAND_DISPLAY(gtk_widget_get_display(window));
#else
  (void)window;
  return false;
#endif
}

// At `scale` device pixels a window pixel, as the screen shows it.
GdkPixbuf* DrawAgain(GtkWidget* window, int width, int height, int scale) {
  width *= scale;
  height *= scale;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(image);
  cairo_scale(cr, scale, scale);
  gtk_widget_draw(window, cr);
  cairo_destroy(cr);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(image, 0, 0, width, height);
  cairo_surface_destroy(image);
  return pixbuf;
}

}  // namespace

GdkPixbuf* CaptureWindow(GtkWidget* window) {
  GdkWindow* gdk = gtk_widget_get_window(window);
  if (!gdk) return nullptr;
  const int width = gdk_window_get_width(gdk), height = gdk_window_get_height(gdk);
  if (OnWayland(window)) return DrawAgain(window, width, height, gdk_window_get_scale_factor(gdk));
  return gdk_pixbuf_get_from_window(gdk, 0, 0, width, height);
}
