#include "support/gtk_display.h"

#include <gtk/gtk.h>
#include <stdlib.h>

#include <memory>

#include "support/ui_session.h"

bool InitGtkOnXvfb() {
  static std::unique_ptr<XvfbDisplay> display;  // stopped when the process exits
  static bool ready = false;
  if (display) return ready;
  display = std::make_unique<XvfbDisplay>();
  if (!display->Ok()) return false;
  setenv("DISPLAY", display->Name().c_str(), 1);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("NO_AT_BRIDGE", "1", 1);
  ready = gtk_init_check(nullptr, nullptr);
  return ready;
}
