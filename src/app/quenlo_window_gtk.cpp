#include "app/quenlo_window_gtk.h"

#include <gtk/gtk.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "app/launch_target.h"
#include "app/live_picture_gtk.h"
#include "app/window_capture_gtk.h"

namespace {

// The installed icon, or a stock camera where the wizard runs unpacked.
const char* IconName() {
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  return theme && gtk_icon_theme_has_icon(theme, QuenloWindowGtk::kAppId) ? QuenloWindowGtk::kAppId
                                                                          : "camera-web";
}

// The menu texts mark their access key with '&' ("&About"); GTK marks it
// with '_'.
std::string GtkMnemonic(std::string text) {
  for (char& c : text) {
    if (c == '&') c = '_';
  }
  return text;
}

// A program: executable and starting as a program file does. On a medium
// whose file system marks every file executable, a document then still goes
// to its viewer instead of being run by the shell.
bool IsProgramFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0) {
    return false;
  }
  char magic[4] = {};
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const size_t n = std::fread(magic, 1, sizeof(magic), file);
  std::fclose(file);
  return (n >= 2 && magic[0] == '#' && magic[1] == '!') ||
         (n == 4 && std::memcmp(magic, "\177ELF", 4) == 0);
}

// Web addresses go to the desktop's browser; an absolute file path is run
// when it is a program, else opened with its default application. The
// dialog has checked the target (ResolveLaunchTarget); anything else, such
// as a relative path, is dropped.
void LaunchTarget(const std::string& target) {
  GError* error = nullptr;
  if (IsWebAddress(target)) {
    g_app_info_launch_default_for_uri(target.c_str(), nullptr, &error);
  } else if (g_path_is_absolute(target.c_str()) && IsProgramFile(target)) {
    gchar* argv[] = {const_cast<gchar*>(target.c_str()), nullptr};
    g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
  } else if (g_path_is_absolute(target.c_str())) {
    gchar* uri = g_filename_to_uri(target.c_str(), nullptr, nullptr);
    if (uri) g_app_info_launch_default_for_uri(uri, nullptr, &error);
    g_free(uri);
  }
  if (error) g_error_free(error);  // failures are silent
}

// A box asked for on a worker thread. Its fields are guarded by the window's
// mutex; nothing of it travels through GLib, so the hand-over is visible to
// ThreadSanitizer.
struct BoxRequest {
  std::string caption;
  MessageText message;
  bool taken = false;    // the UI thread is showing it
  bool settled = false;  // closed, or given up at shut-down
};

struct TimerTick {
  QuenloWindowGtk::Impl* impl;
  int id;
};

}  // namespace

struct QuenloWindowGtk::Impl {
  QuenloWindowGtk* self = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* header = nullptr;
  GtkWidget* overlay = nullptr;
  GtkWidget* live = nullptr;
  GtkWidget* about_item = nullptr;
  GMainLoop* loop = nullptr;
  std::thread::id ui_thread;
  bool record_launches = false;
  int quit_code = 0;
  std::function<void(int)> sys_command;
  std::function<void()> close_handler;
  std::function<void(int)> timer_handler;
  std::function<void(const std::string&)> focus_handler;
  std::vector<std::string> launched;
  GtkWidget* modal_dialog = nullptr;  // UI thread
  ModalState modal;                   // UI thread
  std::unique_ptr<LivePictureGtk> picture;
  std::atomic<bool> closing{false};

  // Waits on the UI thread (PollPause): while one lasts the page takes no
  // input and shows a busy cursor, and what the dialog would be handed
  // (timers, page events, menu and close commands) waits for its end.
  int wait_depth = 0;
  bool close_pending = false;
  bool busy = false;
  bool end_of_wait_scheduled = false;
  std::vector<std::function<void()>> deferred;
  std::vector<int> deferred_timers;  // fired during a wait, in firing order

  std::mutex mutex;
  std::condition_variable box_settled;
  std::map<int, guint> timers;                             // guarded by mutex
  std::map<int, int> timer_requests;                       // id -> ms; guarded by mutex
  std::vector<std::shared_ptr<BoxRequest>> waiting_boxes;  // guarded by mutex

  void ShowWaitingBoxes();
  void StartRequestedTimers();
  void SetBusy(bool on);
  void ScheduleEndOfWait();
  void EndOfWait();
  void RunOrDefer(std::function<void()> fn);
  void FireTimer(int id);

  // Runs `dialog` to its end; `state` is what automation sees meanwhile.
  // The response, GTK_RESPONSE_NONE when it was closed otherwise.
  int RunModal(GtkWidget* dialog, ModalState state);
};

int QuenloWindowGtk::Impl::RunModal(GtkWidget* dialog, ModalState state) {
  gtk_window_set_title(GTK_WINDOW(dialog), state.caption.c_str());
  GtkWidget* previous = modal_dialog;
  ModalState previous_state = modal;
  modal_dialog = dialog;
  state.open = true;
  modal = std::move(state);
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  modal_dialog = previous;
  modal = previous_state;
  return response;
}

// UI thread: shows, one after the other, the boxes that workers wait for.
void QuenloWindowGtk::Impl::ShowWaitingBoxes() {
  for (;;) {
    std::shared_ptr<BoxRequest> request;
    {
      std::lock_guard<std::mutex> lock(mutex);
      for (auto& waiting : waiting_boxes) {
        if (!waiting->taken && !waiting->settled) {
          request = waiting;
          request->taken = true;
          break;
        }
      }
    }
    if (!request) return;
    self->Show(request->caption, request->message);
    std::lock_guard<std::mutex> lock(mutex);
    request->settled = true;
    box_settled.notify_all();
  }
}

namespace {

gboolean OnTimerTick(gpointer data);

}  // namespace

// UI thread: turns the timer requests of any thread into GLib timeouts; a
// request replaces a running timer with the same id.
void QuenloWindowGtk::Impl::StartRequestedTimers() {
  std::lock_guard<std::mutex> lock(mutex);
  for (const auto& [id, period_ms] : timer_requests) {
    auto it = timers.find(id);
    if (it != timers.end()) g_source_remove(it->second);
    timers[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(period_ms), OnTimerTick,
                                    new TimerTick{this, id},
                                    [](gpointer p) { delete static_cast<TimerTick*>(p); });
  }
  timer_requests.clear();
}

void QuenloWindowGtk::Impl::FireTimer(int id) {
  if (timer_handler) timer_handler(id);
}

void QuenloWindowGtk::Impl::RunOrDefer(std::function<void()> fn) {
  if (wait_depth > 0) {
    deferred.push_back(std::move(fn));
  } else {
    fn();
  }
}

namespace {
void SetCursorDeep(GdkWindow* window, GdkCursor* cursor);
gboolean EndOfWaitIdle(gpointer data);
}  // namespace

void QuenloWindowGtk::Impl::SetBusy(bool on) {
  if (busy == on) return;
  busy = on;
  gtk_widget_set_sensitive(overlay, !on);
  GdkWindow* gdk = gtk_widget_get_window(window);
  if (!gdk) return;
  GdkCursor* cursor = on ? gdk_cursor_new_from_name(gdk_window_get_display(gdk), "wait") : nullptr;
  SetCursorDeep(gdk, cursor);
  if (cursor) g_object_unref(cursor);
}

void QuenloWindowGtk::Impl::ScheduleEndOfWait() {
  if (end_of_wait_scheduled) return;
  end_of_wait_scheduled = true;
  g_idle_add(EndOfWaitIdle, this);
}

// Runs once control is back in the main loop. A wait that follows at once
// (the waits are loops of pauses) keeps the window busy without a flicker.
void QuenloWindowGtk::Impl::EndOfWait() {
  end_of_wait_scheduled = false;
  if (wait_depth > 0) return;  // the pause that runs now schedules it again
  SetBusy(false);
  std::vector<int> timers_due;
  timers_due.swap(deferred_timers);
  std::vector<std::function<void()>> due;
  due.swap(deferred);
  for (int id : timers_due) FireTimer(id);
  for (auto& fn : due) fn();
}

namespace {

// A close asked for during a wait is handled when the wait ends; the dialog's
// waits end early once one is pending (CloseRequested).
gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
  auto* impl = static_cast<QuenloWindowGtk::Impl*>(data);
  if (impl->close_pending) return TRUE;
  impl->close_pending = true;
  impl->RunOrDefer([impl] {
    impl->close_pending = false;
    if (impl->close_handler) impl->close_handler();
  });
  return TRUE;  // the window goes when the main loop has ended
}

void OnAboutActivate(GtkMenuItem*, gpointer data) {
  auto* impl = static_cast<QuenloWindowGtk::Impl*>(data);
  impl->RunOrDefer([impl] {
    if (impl->sys_command) impl->sys_command(16);
  });
}

gboolean OnTimerTick(gpointer data) {
  auto* tick = static_cast<TimerTick*>(data);
  QuenloWindowGtk::Impl* impl = tick->impl;
  {
    std::lock_guard<std::mutex> lock(impl->mutex);
    impl->timers.erase(tick->id);  // one-shot: gone before the handler runs
  }
  if (impl->wait_depth > 0) {
    impl->deferred_timers.push_back(tick->id);
  } else {
    impl->FireTimer(tick->id);
  }
  return G_SOURCE_REMOVE;
}

gboolean EndOfWaitIdle(gpointer data) {
  static_cast<QuenloWindowGtk::Impl*>(data)->EndOfWait();
  return G_SOURCE_REMOVE;
}

// The cursor of a window and of every window inside it (the page view has
// windows of its own).
void SetCursorDeep(GdkWindow* window, GdkCursor* cursor) {
  gdk_window_set_cursor(window, cursor);
  for (GList* c = gdk_window_peek_children(window); c; c = c->next)
    SetCursorDeep(static_cast<GdkWindow*>(c->data), cursor);
}

gboolean OnQuitIdle(gpointer data) {
  g_main_loop_quit(static_cast<GMainLoop*>(data));
  return G_SOURCE_REMOVE;
}

gboolean ShowBoxesOnUiThread(gpointer data) {
  static_cast<QuenloWindowGtk::Impl*>(data)->ShowWaitingBoxes();
  return G_SOURCE_REMOVE;
}

gboolean StartTimersOnUiThread(gpointer data) {
  static_cast<QuenloWindowGtk::Impl*>(data)->StartRequestedTimers();
  return G_SOURCE_REMOVE;
}

}  // namespace

QuenloWindowGtk::QuenloWindowGtk(GtkWidget* page_view, bool record_launches)
    : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.self = this;
  d.ui_thread = std::this_thread::get_id();
  d.record_launches = record_launches;
  d.loop = g_main_loop_new(nullptr, FALSE);
  d.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_resizable(GTK_WINDOW(d.window), FALSE);
  gtk_window_set_icon_name(GTK_WINDOW(d.window), IconName());
  d.header = gtk_header_bar_new();
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(d.header), TRUE);
  gtk_window_set_titlebar(GTK_WINDOW(d.window), d.header);
  d.overlay = gtk_overlay_new();
  gtk_container_add(GTK_CONTAINER(d.overlay), page_view);
  d.live = gtk_drawing_area_new();
  gtk_widget_set_size_request(d.live, kLiveWidth, kLiveHeight);
  gtk_widget_set_halign(d.live, GTK_ALIGN_START);
  gtk_widget_set_valign(d.live, GTK_ALIGN_START);
  gtk_widget_set_margin_start(d.live, kLiveX);
  gtk_widget_set_margin_top(d.live, kLiveY);
  gtk_widget_set_no_show_all(d.live, TRUE);
  d.picture = std::make_unique<LivePictureGtk>(d.live);
  gtk_overlay_add_overlay(GTK_OVERLAY(d.overlay), d.live);
  gtk_container_add(GTK_CONTAINER(d.window), d.overlay);
  g_signal_connect(d.window, "delete-event", G_CALLBACK(OnDeleteEvent), &d);
}

QuenloWindowGtk::~QuenloWindowGtk() {
  BeginClosing();
  while (g_idle_remove_by_data(impl_.get())) {
  }
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (const auto& [id, source] : impl_->timers) g_source_remove(source);
  impl_->timers.clear();
  impl_->picture.reset();
  gtk_widget_destroy(impl_->window);
  g_main_loop_unref(impl_->loop);
}

void QuenloWindowGtk::SetSysCommandHandler(std::function<void(int)> handler) {
  impl_->sys_command = std::move(handler);
}

void QuenloWindowGtk::SetCloseHandler(std::function<void()> handler) {
  impl_->close_handler = std::move(handler);
}

int QuenloWindowGtk::Run() {
  gtk_widget_show_all(impl_->window);
  gtk_window_move(GTK_WINDOW(impl_->window), 0, 0);
  g_main_loop_run(impl_->loop);
  return impl_->quit_code;
}

void QuenloWindowGtk::BeginClosing() {
  impl_->closing.store(true);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  for (auto& request : impl_->waiting_boxes) request->settled = true;
  impl_->box_settled.notify_all();
}

void QuenloWindowGtk::SetTitle(const std::string& title) {
  gtk_window_set_title(GTK_WINDOW(impl_->window), title.c_str());
}

void QuenloWindowGtk::SetClientSize(int width, int height) {
  gtk_widget_set_size_request(impl_->overlay, width, height);
  gtk_window_resize(GTK_WINDOW(impl_->window), 1, 1);
  gtk_window_move(GTK_WINDOW(impl_->window), 0, 0);
}

void QuenloWindowGtk::PostQuit(int code) {
  impl_->quit_code = code;
  g_idle_add(OnQuitIdle, impl_->loop);
}

void QuenloWindowGtk::AddAboutItem(const std::string& text) {
  if (text.empty() || impl_->about_item) return;
  GtkWidget* button = gtk_menu_button_new();
  gtk_button_set_image(GTK_BUTTON(button),
                       gtk_image_new_from_icon_name("open-menu-symbolic", GTK_ICON_SIZE_BUTTON));
  gtk_widget_set_tooltip_text(button, "Menu");
  GtkWidget* menu = gtk_menu_new();
  impl_->about_item = gtk_menu_item_new_with_mnemonic(GtkMnemonic(text).c_str());
  g_signal_connect(impl_->about_item, "activate", G_CALLBACK(OnAboutActivate), impl_.get());
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), impl_->about_item);
  gtk_widget_show_all(menu);
  gtk_menu_button_set_popup(GTK_MENU_BUTTON(button), menu);
  gtk_header_bar_pack_end(GTK_HEADER_BAR(impl_->header), button);
}

void QuenloWindowGtk::ShowAbout(const CAboutDlg& about) {
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      about.Caption().c_str(), GTK_WINDOW(impl_->window),
      static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), "_OK",
      GTK_RESPONSE_OK, nullptr);
  GtkWidget* box = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(box), 16);
  gtk_box_set_spacing(GTK_BOX(box), 8);
  GtkWidget* icon = gtk_image_new_from_icon_name(IconName(), GTK_ICON_SIZE_DIALOG);
  GtkWidget* title = gtk_label_new(about.TitleText().c_str());
  GtkWidget* version = gtk_label_new(CAboutDlg::kVersionText);
  for (GtkWidget* w : {icon, title, version}) gtk_box_pack_start(GTK_BOX(box), w, FALSE, FALSE, 0);
  gtk_widget_show_all(box);
  impl_->RunModal(dialog, {true, about.Caption(), "", about.TitleText(), {"OK"}});
}

// The window stays alive: the main loop runs (painting, the page view, the
// automation socket) while the page takes no input and the dialog is handed
// nothing new.
void QuenloWindowGtk::PollPause(int ms) {
  Impl& d = *impl_;
  ++d.wait_depth;
  d.SetBusy(true);
  bool elapsed = false;
  g_timeout_add(
      static_cast<guint>(ms),
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &elapsed);
  while (!elapsed) g_main_context_iteration(nullptr, TRUE);
  d.ShowWaitingBoxes();
  --d.wait_depth;
  d.ScheduleEndOfWait();
}

bool QuenloWindowGtk::InWait() const { return impl_->wait_depth > 0; }

bool QuenloWindowGtk::CloseRequested() const { return impl_->close_pending; }

void QuenloWindowGtk::RequestClose() { gtk_window_close(GTK_WINDOW(impl_->window)); }

void QuenloWindowGtk::RunOrDefer(std::function<void()> fn) { impl_->RunOrDefer(std::move(fn)); }

void QuenloWindowGtk::Show(const std::string& caption, const MessageText& message) {
  if (std::this_thread::get_id() != impl_->ui_thread) {
    auto request = std::make_shared<BoxRequest>();
    request->caption = caption;
    request->message = message;
    std::unique_lock<std::mutex> lock(impl_->mutex);
    if (impl_->closing.load()) return;
    impl_->waiting_boxes.push_back(request);
    g_idle_add(ShowBoxesOnUiThread, impl_.get());
    impl_->box_settled.wait(lock, [&] { return request->settled; });
    std::erase(impl_->waiting_boxes, request);
    return;
  }
  if (impl_->closing.load()) return;
  const bool headed = !message.heading.empty();
  GtkWidget* dialog = gtk_message_dialog_new(
      GTK_WINDOW(impl_->window), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s",
      headed ? message.heading.c_str() : message.text.c_str());
  if (headed)
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             message.text.c_str());
  impl_->RunModal(dialog, {true, caption, message.heading, message.text, {"OK"}});
  if (!message.field.empty() && impl_->focus_handler) impl_->focus_handler(message.field);
}

// "No" is the default: Enter or Esc keep things as they are.
bool QuenloWindowGtk::Ask(const std::string& caption, const std::string& question,
                          const std::string& yes, const std::string& no) {
  if (impl_->closing.load()) return true;
  GtkWidget* dialog =
      gtk_message_dialog_new(GTK_WINDOW(impl_->window), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                             GTK_BUTTONS_NONE, "%s", question.c_str());
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), no.c_str(), GTK_RESPONSE_CANCEL, yes.c_str(),
                         GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  return impl_->RunModal(dialog, {true, caption, "", question, {no, yes}}) == GTK_RESPONSE_ACCEPT;
}

void QuenloWindowGtk::SetLiveStatusHandler(std::function<void(bool)> handler) {
  impl_->picture->SetStatusHandler(std::move(handler));
}

void QuenloWindowGtk::SetFocusHandler(std::function<void(const std::string& field)> handler) {
  impl_->focus_handler = std::move(handler);
}

void QuenloWindowGtk::SetHandler(std::function<void(int)> handler) {
  impl_->timer_handler = std::move(handler);
}

void QuenloWindowGtk::Start(int id, int period_ms) {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->timer_requests[id] = period_ms;
  }
  if (std::this_thread::get_id() == impl_->ui_thread) {
    impl_->StartRequestedTimers();
  } else {
    g_idle_add(StartTimersOnUiThread, impl_.get());
  }
}

void QuenloWindowGtk::Kill(int id) {
  if (std::this_thread::get_id() == impl_->ui_thread) std::erase(impl_->deferred_timers, id);
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->timer_requests.erase(id);
  auto it = impl_->timers.find(id);
  if (it == impl_->timers.end()) return;
  g_source_remove(it->second);
  impl_->timers.erase(it);
}

void QuenloWindowGtk::Open(const std::string& target) {
  if (impl_->record_launches) {
    impl_->launched.push_back(target);
    return;
  }
  if (!target.empty()) LaunchTarget(target);
}

void QuenloWindowGtk::Show() {
  gtk_widget_show(impl_->live);
  impl_->picture->SetShown(true);
}

void QuenloWindowGtk::Hide() {
  impl_->picture->SetShown(false);
  gtk_widget_hide(impl_->live);
}

ILiveTarget* QuenloWindowGtk::Target() { return impl_->picture.get(); }

bool QuenloWindowGtk::IsVisible() const { return gtk_widget_get_visible(impl_->live); }

QuenloWindowGtk::ModalState QuenloWindowGtk::Modal() const { return impl_->modal; }

bool QuenloWindowGtk::DismissModal(const std::string& button) {
  if (!impl_->modal_dialog) return false;
  int response = GTK_RESPONSE_OK;
  if (!button.empty()) {
    GtkWidget* widget = nullptr;
    for (int candidate : {GTK_RESPONSE_OK, GTK_RESPONSE_ACCEPT, GTK_RESPONSE_CANCEL}) {
      widget = gtk_dialog_get_widget_for_response(GTK_DIALOG(impl_->modal_dialog), candidate);
      if (widget && button == gtk_button_get_label(GTK_BUTTON(widget))) {
        response = candidate;
        break;
      }
      widget = nullptr;
    }
    if (!widget) return false;
  }
  gtk_dialog_response(GTK_DIALOG(impl_->modal_dialog), response);
  // The box's loop ends at its next turn; from now on it counts as closed, so
  // a request that comes before that turn does not see it open. RunModal
  // restores the outer box's state when its loop returns.
  impl_->modal_dialog = nullptr;
  impl_->modal = {};
  return true;
}

QuenloWindowGtk::LiveState QuenloWindowGtk::Live() const {
  LiveState state{IsVisible(),
                  0,
                  0,
                  0,
                  0,
                  impl_->picture->PaintedPictures(),
                  impl_->picture->LastPaintedPicture()};
  if (state.visible) {
    gtk_widget_translate_coordinates(impl_->live, impl_->overlay, 0, 0, &state.x, &state.y);
    state.width = gtk_widget_get_allocated_width(impl_->live);
    state.height = gtk_widget_get_allocated_height(impl_->live);
  }
  return state;
}

const std::vector<std::string>& QuenloWindowGtk::Launched() const { return impl_->launched; }

QuenloWindowGtk::ClientState QuenloWindowGtk::Client() const {
  ClientState state{gtk_window_get_title(GTK_WINDOW(impl_->window)) ?: "", 0, 0, 0, 0};
  GdkWindow* gdk = gtk_widget_get_window(impl_->window);
  int origin_x = 0, origin_y = 0, in_x = 0, in_y = 0;
  if (gdk) gdk_window_get_origin(gdk, &origin_x, &origin_y);
  gtk_widget_translate_coordinates(impl_->overlay, impl_->window, 0, 0, &in_x, &in_y);
  state.x = origin_x + in_x;
  state.y = origin_y + in_y;
  state.width = gtk_widget_get_allocated_width(impl_->overlay);
  state.height = gtk_widget_get_allocated_height(impl_->overlay);
  return state;
}

bool QuenloWindowGtk::ActivateAboutItem() {
  if (!impl_->about_item) return false;
  gtk_menu_item_activate(GTK_MENU_ITEM(impl_->about_item));
  return true;
}

// The window as the X server holds it gives the frame and the live picture;
// the page comes from the view's own rendering, which is never behind.
bool QuenloWindowGtk::Screenshot(const std::string& path, void* page) const {
  GdkPixbuf* screen = CaptureWindow(impl_->window);
  if (!screen) return false;
  // Only the header bar and the client area: the frame's shadow margin holds
  // whatever lay below it.
  int page_x = 0, page_y = 0, top_x = 0, top_y = 0;
  gtk_widget_translate_coordinates(impl_->overlay, impl_->window, 0, 0, &page_x, &page_y);
  gtk_widget_translate_coordinates(impl_->header, impl_->window, 0, 0, &top_x, &top_y);
  const int width = gtk_widget_get_allocated_width(impl_->overlay);
  const int height = page_y + gtk_widget_get_allocated_height(impl_->overlay) - top_y;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(image);
  cairo_translate(cr, -page_x, -top_y);
  gdk_cairo_set_source_pixbuf(cr, screen, 0, 0);
  cairo_paint(cr);
  if (page) {
    cairo_set_source_surface(cr, static_cast<cairo_surface_t*>(page), page_x, page_y);
    cairo_paint(cr);
  }
  LiveState live = Live();
  if (live.visible) {
    gdk_cairo_set_source_pixbuf(cr, screen, 0, 0);
    cairo_rectangle(cr, page_x + live.x, page_y + live.y, live.width, live.height);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
  bool ok = cairo_surface_write_to_png(image, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(image);
  g_object_unref(screen);
  return ok;
}

GtkWidget* QuenloWindowGtk::Toplevel() const { return impl_->window; }

GtkWidget* QuenloWindowGtk::LiveWidget() const { return impl_->live; }
