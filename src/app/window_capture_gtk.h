// The picture of a toplevel window for the automation's screenshots, on X11
// and on Wayland alike. UI thread only.
#pragma once

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkPixbuf GdkPixbuf;

// The whole toplevel window `window`, shadow margin included, at device
// pixels, as a new pixbuf (the caller unrefs it), or null. On X11 it is read back from the
// screen, as shown; Wayland lets no client read the screen, so there GTK
// draws the window once more into memory.
GdkPixbuf* CaptureWindow(GtkWidget* window);
