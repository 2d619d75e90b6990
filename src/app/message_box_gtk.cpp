#include "app/message_box_gtk.h"

#include <gtk/gtk.h>

// A box asked for on a worker thread. Its fields are guarded by the owner's
// mutex; nothing of it travels through GLib, so the hand-over is visible to
// ThreadSanitizer.
struct MessageBoxGtk::Request {
  std::string caption;
  MessageText message;
  bool taken = false;    // the UI thread is showing it
  bool settled = false;  // closed, or given up at shut-down
};

namespace {

gboolean ShowWaitingOnUiThread(gpointer data) {
  static_cast<MessageBoxGtk*>(data)->ShowWaiting();
  return G_SOURCE_REMOVE;
}

}  // namespace

MessageBoxGtk::MessageBoxGtk(GtkWidget* parent)
    : parent_(parent), ui_thread_(std::this_thread::get_id()) {}

MessageBoxGtk::~MessageBoxGtk() {
  BeginClosing();
  while (g_idle_remove_by_data(this)) {
  }
}

void MessageBoxGtk::SetFocusHandler(std::function<void(const std::string& field)> handler) {
  focus_handler_ = std::move(handler);
}

void MessageBoxGtk::BeginClosing() {
  closing_.store(true);
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& request : waiting_) request->settled = true;
  box_settled_.notify_all();
}

void MessageBoxGtk::Show(const std::string& caption, const MessageText& message) {
  if (std::this_thread::get_id() != ui_thread_) {
    WaitForUiThread(caption, message);
  } else {
    ShowOnUiThread(caption, message);
  }
}

void MessageBoxGtk::WaitForUiThread(const std::string& caption, const MessageText& message) {
  auto request = std::make_shared<Request>();
  request->caption = caption;
  request->message = message;
  std::unique_lock<std::mutex> lock(mutex_);
  if (closing_.load()) return;
  waiting_.push_back(request);
  g_idle_add(ShowWaitingOnUiThread, this);
  box_settled_.wait(lock, [&] { return request->settled; });
  std::erase(waiting_, request);
}

void MessageBoxGtk::ShowOnUiThread(const std::string& caption, const MessageText& message) {
  if (closing_.load()) return;
  const bool headed = !message.heading.empty();
  GtkWidget* dialog = gtk_message_dialog_new(
      GTK_WINDOW(parent_), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s",
      headed ? message.heading.c_str() : message.text.c_str());
  if (headed)
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             message.text.c_str());
  RunModal(dialog, {true, caption, message.heading, message.text, {"OK"}});
  if (!message.field.empty() && focus_handler_) focus_handler_(message.field);
}

// "No" is the default: Enter or Esc keep things as they are.
bool MessageBoxGtk::Ask(const std::string& caption, const std::string& question,
                        const std::string& yes, const std::string& no) {
  if (closing_.load()) return true;
  GtkWidget* dialog =
      gtk_message_dialog_new(GTK_WINDOW(parent_), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                             GTK_BUTTONS_NONE, "%s", question.c_str());
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), no.c_str(), GTK_RESPONSE_CANCEL, yes.c_str(),
                         GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  return RunModal(dialog, {true, caption, "", question, {no, yes}}) == GTK_RESPONSE_ACCEPT;
}

void MessageBoxGtk::ShowWaiting() {
  for (;;) {
    std::shared_ptr<Request> request;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto& waiting : waiting_) {
        if (!waiting->taken && !waiting->settled) {
          request = waiting;
          request->taken = true;
          break;
        }
      }
    }
    if (!request) return;
    ShowOnUiThread(request->caption, request->message);
    std::lock_guard<std::mutex> lock(mutex_);
    request->settled = true;
    box_settled_.notify_all();
  }
}

int MessageBoxGtk::RunModal(GtkWidget* dialog, ModalState state) {
  gtk_window_set_title(GTK_WINDOW(dialog), state.caption.c_str());
  GtkWidget* previous = modal_dialog_;
  ModalState previous_state = modal_;
  modal_dialog_ = dialog;
  state.open = true;
  modal_ = std::move(state);
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  modal_dialog_ = previous;
  modal_ = previous_state;
  return response;
}

bool MessageBoxGtk::DismissModal(const std::string& button) {
  if (!modal_dialog_) return false;
  int response = GTK_RESPONSE_OK;
  if (!button.empty()) {
    GtkWidget* widget = nullptr;
    for (int candidate : {GTK_RESPONSE_OK, GTK_RESPONSE_ACCEPT, GTK_RESPONSE_CANCEL}) {
      widget = gtk_dialog_get_widget_for_response(GTK_DIALOG(modal_dialog_), candidate);
      if (widget && button == gtk_button_get_label(GTK_BUTTON(widget))) {
        response = candidate;
        break;
      }
      widget = nullptr;
    }
    if (!widget) return false;
  }
  gtk_dialog_response(GTK_DIALOG(modal_dialog_), response);
  // The box's loop ends at its next turn; from now on it counts as closed, so
  // a request that comes before that turn does not see it open. RunModal
  // restores the outer box's state when its loop returns.
  modal_dialog_ = nullptr;
  modal_ = {};
  return true;
}
