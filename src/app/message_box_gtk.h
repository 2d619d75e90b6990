// The dialog window's modal boxes on GTK: warnings, questions, and the
// state that automation reads and presses.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/dialog_window.h"

typedef struct _GtkWidget GtkWidget;

// Threads: Show and BeginClosing from any thread, everything else on the UI
// thread (the one that constructed the object). A worker's Show is queued
// under mutex_ and waits on box_settled_ until the UI thread has shown and
// closed the box (ShowWaiting, from an idle callback or a wait's pause) or
// closing has begun. The box state (modal_dialog_, modal_) is UI thread only.
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

  // Receives the field a closed message box was about (UI thread).
  void SetFocusHandler(std::function<void(const std::string& field)> handler);
  // Workers waiting for a box are released and later boxes are skipped.
  void BeginClosing();
  // Shows, one after the other, the boxes that workers wait for.
  void ShowWaiting();
  // Runs `dialog` to its end; `state` is what automation sees meanwhile.
  // The response, GTK_RESPONSE_NONE when it was closed otherwise.
  int RunModal(GtkWidget* dialog, ModalState state);

  // For automation.
  ModalState Modal() const { return modal_; }
  // Presses the button labelled `button` of the open box (OK when empty);
  // false when no box is open or it has no such button.
  bool DismissModal(const std::string& button = "");

 private:
  struct Request;

  void ShowOnUiThread(const std::string& caption, const MessageText& message);
  void WaitForUiThread(const std::string& caption, const MessageText& message);

  GtkWidget* parent_;
  const std::thread::id ui_thread_;
  std::atomic<bool> closing_{false};
  std::function<void(const std::string&)> focus_handler_;
  GtkWidget* modal_dialog_ = nullptr;
  ModalState modal_;
  std::mutex mutex_;
  std::condition_variable box_settled_;
  std::vector<std::shared_ptr<Request>> waiting_;  // guarded by mutex_
};
