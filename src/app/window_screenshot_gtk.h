// A PNG of the program's window as a person sees it, at the display's device
// pixels: a window of 800 x 600 at scale 2 gives 1600 x 1200 (plus its header
// bar).
#pragma once

#include <string>

typedef struct _GtkWidget GtkWidget;

// The widgets a screenshot is made of; all must be realized.
struct WindowScreenshotParts {
  GtkWidget* window;     // the toplevel
  GtkWidget* header;     // the header bar: the screenshot's top edge
  GtkWidget* page_area;  // the client area the page is drawn into
  GtkWidget* live;       // the live picture drawn over the page, or null when hidden
};

// UI thread. Writes `parts` to `path`: the header bar and the frame as the X
// server holds them, `page` (a cairo image surface of the page view, or null)
// fitted into the page area, and the live picture over it. False on failure.
bool WriteWindowScreenshot(const WindowScreenshotParts& parts, void* page, const std::string& path);
