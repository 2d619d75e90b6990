// The program's GTK window: header bar with the About menu and the page view
// with the live picture overlaid. It owns the window's other services (modal
// boxes, timers, the desktop's "open", the live picture window), each in a
// class of its own.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/dialog_window.h"

typedef struct _GtkWidget GtkWidget;
class LiveWindowGtk;
class MessageBoxGtk;
class ShellGtk;
class TimersGtk;

// Threads: UI thread only (the one that constructed the object). Of the
// services it gives access to, only TimersGtk::Post may come from workers.
class QuenloWindowGtk : public IDialogWindow {
 public:
  // The application's id: its menu entry's and icon's name.
  static constexpr const char* kAppId = "example.quenlo.Setup";

  // With `record_launches`, "open" only records its targets (automation).
  QuenloWindowGtk(GtkWidget* page_view, bool record_launches);
  ~QuenloWindowGtk() override;

  MessageBoxGtk& MessageBoxes();
  TimersGtk& Timers();
  ShellGtk& Shell();
  LiveWindowGtk& LiveWindow();

  // Receives the About command (the window's menu item).
  void SetSysCommandHandler(std::function<void(int)> handler);
  // Receives the window's own close request.
  void SetCloseHandler(std::function<void()> handler);
  // Runs the main loop until PostQuit; returns its code.
  int Run();
  // Later boxes, timers and posts are dropped.
  void BeginClosing();

  // IDialogWindow
  void SetTitle(const std::string& title) override;
  void SetClientSize(int width, int height) override;
  void PostQuit(int code) override;
  void AddAboutItem(const std::string& text) override;
  void ShowAbout(const CAboutDlg& about) override;

  // For automation.
  // Closes the window as its close button does.
  void RequestClose();
  // The title and the client area (the page view) in screen coordinates.
  struct ClientState {
    std::string title;
    int x, y, width, height;
  };
  ClientState Client() const;
  // Activates the About menu item as a click on it would.
  bool ActivateAboutItem();
  // Writes a PNG of the whole window with `page` (a cairo image surface of
  // the page view, or null) drawn into the client area and the live picture
  // over it; false on failure.
  bool Screenshot(const std::string& path, void* page) const;
  GtkWidget* Toplevel() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
