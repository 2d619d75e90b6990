#include "app/window_screenshot_gtk.h"

#include <gtk/gtk.h>

#include "app/window_capture_gtk.h"

namespace {

// A rectangle in the window's logical coordinates.
struct Area {
  int x, y, width, height;
};

Area AreaInWindow(GtkWidget* widget, GtkWidget* window) {
  Area area{0, 0, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget)};
  gtk_widget_translate_coordinates(widget, window, 0, 0, &area.x, &area.y);
  return area;
}

// The view renders at whatever scale it was asked to: its snapshot is
// stretched onto the area the page takes in the window, whatever its pixels.
void PaintPage(cairo_t* cr, cairo_surface_t* page, const Area& area) {
  if (cairo_surface_get_type(page) != CAIRO_SURFACE_TYPE_IMAGE) return;
  double scale_x = 1, scale_y = 1;
  cairo_surface_get_device_scale(page, &scale_x, &scale_y);
  const double width = cairo_image_surface_get_width(page) / scale_x;
  const double height = cairo_image_surface_get_height(page) / scale_y;
  if (width <= 0 || height <= 0) return;
  cairo_save(cr);
  cairo_translate(cr, area.x, area.y);
  cairo_scale(cr, area.width / width, area.height / height);
  cairo_set_source_surface(cr, page, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
}

// Draws the window's own pixels, then the page, then the window's pixels
// again where the live picture lies. `cr` works in logical coordinates.
void PaintWindow(cairo_t* cr, const WindowScreenshotParts& parts, cairo_surface_t* screen,
                 cairo_surface_t* page) {
  const Area page_area = AreaInWindow(parts.page_area, parts.window);
  cairo_set_source_surface(cr, screen, 0, 0);
  cairo_paint(cr);
  if (page) PaintPage(cr, page, page_area);
  if (parts.live) {
    const Area live = AreaInWindow(parts.live, parts.window);
    cairo_set_source_surface(cr, screen, 0, 0);
    cairo_rectangle(cr, live.x, live.y, live.width, live.height);
    cairo_fill(cr);
  }
}

bool WritePng(cairo_surface_t* image, const std::string& path) {
  return cairo_surface_status(image) == CAIRO_STATUS_SUCCESS &&
         cairo_surface_write_to_png(image, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

// The window as the display shows it gives the frame and the live picture;
// the page comes from the view's own rendering, which is never behind. The
// display holds device pixels, so the picture is made at the window's scale.
bool WriteWindowScreenshot(const WindowScreenshotParts& parts, void* page,
                           const std::string& path) {
  GdkWindow* gdk = gtk_widget_get_window(parts.window);
  if (!gdk) return false;
  const int scale = gdk_window_get_scale_factor(gdk);
  GdkPixbuf* pixels = CaptureWindow(parts.window);
  if (!pixels) return false;
  cairo_surface_t* screen = gdk_cairo_surface_create_from_pixbuf(pixels, scale, nullptr);
  g_object_unref(pixels);
  // Only the header bar and the client area: the frame's shadow margin holds
  // whatever lay below it.
  const Area top = AreaInWindow(parts.header, parts.window);
  const Area page_area = AreaInWindow(parts.page_area, parts.window);
  const int width = page_area.width;
  const int height = page_area.y + page_area.height - top.y;
  cairo_surface_t* image =
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * scale, height * scale);
  cairo_surface_set_device_scale(image, scale, scale);
  cairo_t* cr = cairo_create(image);
  cairo_translate(cr, -page_area.x, -top.y);
  PaintWindow(cr, parts, screen, static_cast<cairo_surface_t*>(page));
  cairo_destroy(cr);
  const bool ok = WritePng(image, path);
  cairo_surface_destroy(image);
  cairo_surface_destroy(screen);
  return ok;
}
