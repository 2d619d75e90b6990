#include "app/wait_gate_gtk.h"

#include <gtk/gtk.h>

struct WaitGateCallbacks {
  static gboolean EndIdle(gpointer data) {
    static_cast<WaitGateGtk*>(data)->End();
    return G_SOURCE_REMOVE;
  }
};

namespace {

// The cursor of a window and of every window inside it (the page view has
// windows of its own).
void SetCursorDeep(GdkWindow* window, GdkCursor* cursor) {
  gdk_window_set_cursor(window, cursor);
  for (GList* c = gdk_window_peek_children(window); c; c = c->next)
    SetCursorDeep(static_cast<GdkWindow*>(c->data), cursor);
}

}  // namespace

WaitGateGtk::WaitGateGtk(GtkWidget* window, GtkWidget* input) : window_(window), input_(input) {}

WaitGateGtk::~WaitGateGtk() {
  while (g_idle_remove_by_data(this)) {
  }
}

void WaitGateGtk::Enter() {
  ++depth_;
  SetBusy(true);
}

void WaitGateGtk::Leave() {
  --depth_;
  ScheduleEnd();
}

void WaitGateGtk::RunOrDefer(std::function<void()> fn) {
  if (depth_ > 0) {
    deferred_.push_back(std::move(fn));
  } else {
    fn();
  }
}

void WaitGateGtk::SetBusy(bool on) {
  if (busy_ == on) return;
  busy_ = on;
  gtk_widget_set_sensitive(input_, !on);
  GdkWindow* gdk = gtk_widget_get_window(window_);
  if (!gdk) return;
  GdkCursor* cursor = on ? gdk_cursor_new_from_name(gdk_window_get_display(gdk), "wait") : nullptr;
  SetCursorDeep(gdk, cursor);
  if (cursor) g_object_unref(cursor);
}

void WaitGateGtk::ScheduleEnd() {
  if (end_scheduled_) return;
  end_scheduled_ = true;
  g_idle_add(WaitGateCallbacks::EndIdle, this);
}

void WaitGateGtk::End() {
  end_scheduled_ = false;
  if (depth_ > 0) return;  // the pause that runs now schedules it again
  SetBusy(false);
  std::vector<std::function<void()>> due;
  due.swap(deferred_);
  if (wait_end_) wait_end_();
  for (auto& fn : due) fn();
}
