// The dialog window's modal boxes on GTK: warnings, questions, and the
// state that automation reads and presses.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/dialog_window.h"

typedef struct _GtkWidget GtkWidget;

// Threads: UI thread only; workers hand their outcomes to the UI thread,
// which decides what to show.
class MessageBoxGtk : public IMessageBox {
 public:
  // What automation sees of the open box.
  struct ModalState {
    bool open = false;
    std::string caption;
    std::string heading;
    std::string text;
    std::vector<std::string> buttons;
  };

  // Boxes are modal over `parent`, which outlives this object.
  explicit MessageBoxGtk(GtkWidget* parent);
  ~MessageBoxGtk() override;
  MessageBoxGtk(const MessageBoxGtk&) = delete;
  MessageBoxGtk& operator=(const MessageBoxGtk&) = delete;

  // IMessageBox
  void Show(const std::string& caption, const MessageText& message) override;
  bool Ask(const std::string& caption, const std::string& question, const std::string& yes,
           const std::string& no) override;
  int Choose(const std::string& caption, const std::string& question,
             const std::vector<std::string>& choices, const std::string& none) override;

  // Receives the field a closed message box was about (UI thread).
  void SetFocusHandler(std::function<void(const std::string& field)> handler);
  // Later boxes are skipped: the window is closing.
  void BeginClosing() { closing_ = true; }
  // Receives the end of each box (its loop has returned).
  void SetClosedHandler(std::function<void()> handler) { closed_handler_ = std::move(handler); }
  // Runs `dialog` to its end; `state` is what automation sees meanwhile.
  // The response, GTK_RESPONSE_NONE when it was closed otherwise.
  int RunModal(GtkWidget* dialog, ModalState state);

  // For automation.
  ModalState Modal() const { return modal_; }
  // Presses the button labelled `button` of the open box (OK when empty);
  // false when no box is open or it has no such button.
  bool DismissModal(const std::string& button = "");

 private:
  GtkWidget* parent_;
  bool closing_ = false;
  std::function<void(const std::string&)> focus_handler_;
  std::function<void()> closed_handler_;
  GtkWidget* modal_dialog_ = nullptr;
  ModalState modal_;
};
