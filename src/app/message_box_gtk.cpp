#include "app/message_box_gtk.h"

#include <gtk/gtk.h>

MessageBoxGtk::MessageBoxGtk(GtkWidget* parent) : parent_(parent) {}

MessageBoxGtk::~MessageBoxGtk() = default;

void MessageBoxGtk::SetFocusHandler(std::function<void(const std::string& field)> handler) {
  focus_handler_ = std::move(handler);
}

void MessageBoxGtk::Show(const std::string& caption, const MessageText& message) {
  if (closing_) return;
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
  if (closing_) return true;
  GtkWidget* dialog =
      gtk_message_dialog_new(GTK_WINDOW(parent_), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                             GTK_BUTTONS_NONE, "%s", question.c_str());
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), no.c_str(), GTK_RESPONSE_CANCEL, yes.c_str(),
                         GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  return RunModal(dialog, {true, caption, "", question, {no, yes}}) == GTK_RESPONSE_ACCEPT;
}

// "None" is the default, as "No" is for a question.
int MessageBoxGtk::Choose(const std::string& caption, const std::string& question,
                          const std::vector<std::string>& choices, const std::string& none) {
  if (closing_) return -1;
  GtkWidget* dialog =
      gtk_message_dialog_new(GTK_WINDOW(parent_), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                             GTK_BUTTONS_NONE, "%s", question.c_str());
  gtk_dialog_add_button(GTK_DIALOG(dialog), none.c_str(), GTK_RESPONSE_CANCEL);
  std::vector<std::string> buttons = {none};
  for (size_t i = 0; i < choices.size(); ++i) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), choices[i].c_str(), static_cast<int>(i));
    buttons.push_back(choices[i]);
  }
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
  const int response = RunModal(dialog, {true, caption, "", question, std::move(buttons)});
  return response >= 0 && static_cast<size_t>(response) < choices.size() ? response : -1;
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
  if (closed_handler_) closed_handler_();
  return response;
}

bool MessageBoxGtk::DismissModal(const std::string& button) {
  if (!modal_dialog_) return false;
  int response = GTK_RESPONSE_OK;
  if (!button.empty()) {
    GtkWidget* widget = nullptr;
    // The fixed responses, then those of a choice's buttons (0 on).
    std::vector<int> candidates = {GTK_RESPONSE_OK, GTK_RESPONSE_ACCEPT, GTK_RESPONSE_CANCEL};
    for (size_t i = 0; i < modal_.buttons.size(); ++i) candidates.push_back(static_cast<int>(i));
    for (int candidate : candidates) {
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
