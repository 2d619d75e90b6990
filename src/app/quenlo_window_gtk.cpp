#include "app/quenlo_window_gtk.h"

#include <gtk/gtk.h>

#include "app/live_window_gtk.h"
#include "app/message_box_gtk.h"
#include "app/shell_gtk.h"
#include "app/timers_gtk.h"
#include "app/window_screenshot_gtk.h"

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

}  // namespace

// The services are destroyed (QuenloWindowGtk's destructor) before the
// widgets they hold on to.
struct QuenloWindowGtk::Impl {
  GtkWidget* window = nullptr;
  GtkWidget* header = nullptr;
  GtkWidget* overlay = nullptr;
  GtkWidget* about_item = nullptr;
  GMainLoop* loop = nullptr;
  int quit_code = 0;
  std::function<void(int)> sys_command;
  std::function<void()> close_handler;
  std::unique_ptr<MessageBoxGtk> boxes;
  std::unique_ptr<TimersGtk> timers;
  std::unique_ptr<ShellGtk> shell;
  std::unique_ptr<LiveWindowGtk> live_window;
};

namespace {

gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
  auto* impl = static_cast<QuenloWindowGtk::Impl*>(data);
  if (impl->close_handler) impl->close_handler();
  return TRUE;  // the window goes when the main loop has ended
}

void OnAboutActivate(GtkMenuItem*, gpointer data) {
  auto* impl = static_cast<QuenloWindowGtk::Impl*>(data);
  if (impl->sys_command) impl->sys_command(16);
}

gboolean OnQuitIdle(gpointer data) {
  g_main_loop_quit(static_cast<GMainLoop*>(data));
  return G_SOURCE_REMOVE;
}

}  // namespace

QuenloWindowGtk::QuenloWindowGtk(GtkWidget* page_view, bool record_launches)
    : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.loop = g_main_loop_new(nullptr, FALSE);
  d.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_resizable(GTK_WINDOW(d.window), FALSE);
  gtk_window_set_icon_name(GTK_WINDOW(d.window), IconName());
  d.header = gtk_header_bar_new();
  gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(d.header), TRUE);
  gtk_window_set_titlebar(GTK_WINDOW(d.window), d.header);
  d.overlay = gtk_overlay_new();
  gtk_container_add(GTK_CONTAINER(d.overlay), page_view);
  d.live_window = std::make_unique<LiveWindowGtk>(d.overlay);
  gtk_container_add(GTK_CONTAINER(d.window), d.overlay);
  d.boxes = std::make_unique<MessageBoxGtk>(d.window);
  // What workers hand over waits while a box is open, and runs once it closed.
  d.timers = std::make_unique<TimersGtk>([boxes = d.boxes.get()] { return boxes->Modal().open; });
  d.boxes->SetClosedHandler([timers = d.timers.get()] { timers->Resume(); });
  d.shell = std::make_unique<ShellGtk>(record_launches);
  g_signal_connect(d.window, "delete-event", G_CALLBACK(OnDeleteEvent), &d);
}

QuenloWindowGtk::~QuenloWindowGtk() {
  BeginClosing();
  impl_->timers.reset();
  impl_->boxes.reset();
  impl_->live_window.reset();
  gtk_widget_destroy(impl_->window);
  g_main_loop_unref(impl_->loop);
}

MessageBoxGtk& QuenloWindowGtk::MessageBoxes() { return *impl_->boxes; }

TimersGtk& QuenloWindowGtk::Timers() { return *impl_->timers; }

ShellGtk& QuenloWindowGtk::Shell() { return *impl_->shell; }

LiveWindowGtk& QuenloWindowGtk::LiveWindow() { return *impl_->live_window; }

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
  impl_->boxes->BeginClosing();
  impl_->timers->BeginClosing();
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
  impl_->boxes->RunModal(dialog, {true, about.Caption(), "", about.TitleText(), {"OK"}});
}

void QuenloWindowGtk::RequestClose() { gtk_window_close(GTK_WINDOW(impl_->window)); }

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
  LiveWindowGtk& live = *impl_->live_window;
  return WriteWindowScreenshot(
      {impl_->window, impl_->header, impl_->overlay, live.IsVisible() ? live.Widget() : nullptr},
      page, path);
}

GtkWidget* QuenloWindowGtk::Toplevel() const { return impl_->window; }
