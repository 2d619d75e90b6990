// The program's GTK window: header bar with the About menu, the page view
// with the live picture overlaid, modal boxes, one-shot timers and the
// desktop's "open". Implements the window services of dialog_window.h.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/dialog_window.h"

typedef struct _GtkWidget GtkWidget;

// Threads: everything runs on the UI thread (the one that constructed the
// object) except IMessageBox::Show and the ITimers calls, which may come from
// workers and are handed to the UI thread.
class QuenloWindowGtk : public IDialogWindow,
                        public IMessageBox,
                        public ITimers,
                        public IShell,
                        public ILiveWindow {
 public:
  // The application's id: its menu entry's and icon's name.
  static constexpr const char* kAppId = "example.quenlo.Setup";
  static constexpr int kLiveX = 490;
  static constexpr int kLiveY = 60;
  static constexpr int kLiveWidth = 160;
  static constexpr int kLiveHeight = 120;

  // With `record_launches`, "open" only records its targets (automation).
  QuenloWindowGtk(GtkWidget* page_view, bool record_launches);
  ~QuenloWindowGtk() override;

  // Receives the About command (the window's menu item).
  void SetSysCommandHandler(std::function<void(int)> handler);
  // Receives the window's own close request.
  void SetCloseHandler(std::function<void()> handler);
  // Runs the main loop until PostQuit; returns its code.
  int Run();
  // Workers waiting for a box are released and later boxes are skipped.
  void BeginClosing();
  // A wait of the dialog (PollPause) is in progress.
  bool InWait() const;
  // Runs `fn` now, or when the wait in progress has ended: how events meant
  // for the dialog are kept from running inside its waits.
  void RunOrDefer(std::function<void()> fn);

  // IDialogWindow
  void SetTitle(const std::string& title) override;
  void SetClientSize(int width, int height) override;
  void PostQuit(int code) override;
  void AddAboutItem(const std::string& text) override;
  void ShowAbout(const CAboutDlg& about) override;
  void PollPause(int ms) override;
  bool CloseRequested() const override;
  // Closes the window as its close button does.
  void RequestClose();
  // IMessageBox
  void Show(const std::string& caption, const MessageText& message) override;
  bool Ask(const std::string& caption, const std::string& question, const std::string& yes,
           const std::string& no) override;
  // Receives, on the UI thread, whether the live picture is being painted.
  void SetLiveStatusHandler(std::function<void(bool live)> handler);
  // Receives the field a closed message box was about (UI thread).
  void SetFocusHandler(std::function<void(const std::string& field)> handler);
  // ITimers
  void SetHandler(std::function<void(int id)> handler) override;
  void Start(int id, int period_ms) override;
  void Kill(int id) override;
  void Post(std::function<void()> fn) override;
  // IShell
  void Open(const std::string& target) override;
  // ILiveWindow
  void Show() override;
  void Hide() override;
  bool IsVisible() const override;
  ILiveTarget* Target() override;

  // For automation (UI thread).
  struct ModalState {
    bool open = false;
    std::string caption;
    std::string heading;
    std::string text;
    std::vector<std::string> buttons;
  };
  ModalState Modal() const;
  // Presses the button labelled `button` of the open box (OK when empty);
  // false when no box is open or it has no such button.
  bool DismissModal(const std::string& button = "");
  struct LiveState {
    bool visible;
    int x, y, width, height;
    int frames;             // pictures painted so far
    uint64_t last_picture;  // see LivePictureGtk::LastPaintedPicture
  };
  LiveState Live() const;
  const std::vector<std::string>& Launched() const;
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
  GtkWidget* LiveWidget() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
