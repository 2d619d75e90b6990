// Small services of the dialog's window that the wizard logic needs, each
// replaceable by an in-memory fake in tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "app/page_host.h"
#include "media/live_target.h"
#include "thread/clock.h"

class NeighbourProbe;

// The main window itself. UI thread only.
class IDialogWindow {
 public:
  virtual ~IDialogWindow() = default;
  virtual void SetTitle(const std::string& title) = 0;
  // Sizes the window so that its client area is width x height pixels and
  // moves it to screen position 0,0.
  virtual void SetClientSize(int width, int height) = 0;
  // Ends the main loop with this code once the current handler returns.
  virtual void PostQuit(int code) = 0;
  // The About item of the window's menu: adds it (empty text: no item).
  virtual void AddAboutItem(const std::string& text) = 0;
  // Runs the About box modally.
  virtual void ShowAbout(const CAboutDlg& about) = 0;
};

// What a message box says: a short heading (may be empty) over the text, and
// the page field the message is about, which gets the focus once the box
// has closed (may be empty).
struct MessageText {
  std::string heading;
  std::string text;
  std::string field;
};

// Modal message boxes; each returns once its box has closed. UI thread only:
// workers hand their outcomes over (ITimers::Post) and never open a box.
class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // A warning with an OK button only.
  virtual void Show(const std::string& caption, const MessageText& message) = 0;
  // A question with two buttons: true for `yes`, false for `no` (also when
  // the box is closed otherwise).
  virtual bool Ask(const std::string& caption, const std::string& question, const std::string& yes,
                   const std::string& no) = 0;
  // A question with one button per choice and one for none of them: the
  // index of the choice pressed, or -1 for `none` (also when the box is
  // closed otherwise).
  virtual int Choose(const std::string& caption, const std::string& question,
                     const std::vector<std::string>& choices, const std::string& none) = 0;
};

// One-shot timers of the dialog window, and the hand-over of work to the UI
// thread. Start and Kill: UI thread (a timer with the same id is replaced);
// the handler runs on the UI thread.
class ITimers {
 public:
  virtual ~ITimers() = default;
  virtual void SetHandler(std::function<void(int id)> handler) = 0;
  virtual void Start(int id, int period_ms) = 0;
  virtual void Kill(int id) = 0;
  // Any thread: runs `fn` on the UI thread once it is idle, after what was
  // posted before it, and never while a message box is open.
  virtual void Post(std::function<void()> fn) = 0;
};

// The desktop's "open": a web address goes to the browser, a program runs,
// any other file goes to its default application. Targets are web addresses
// or absolute paths the dialog has checked (ResolveLaunchTarget). Failures
// are silent. UI thread.
class IShell {
 public:
  virtual ~IShell() = default;
  virtual void Open(const std::string& target) = 0;
};

// The 160x120 live picture window over the page. UI thread.
class ILiveWindow {
 public:
  virtual ~ILiveWindow() = default;
  // Shows it at client position (490, 60).
  virtual void Show() = 0;
  // Hides it and moves it to 0,0 with size 0 by 0.
  virtual void Hide() = 0;
  virtual bool IsVisible() const = 0;
  // What the decode thread draws into; null when pictures can't be shown.
  // Lives as long as the window.
  virtual ILiveTarget* Target() = 0;
  // Shows whether the live sound is muted, where the window has a control
  // for it (the large viewer's toggle); nothing by default.
  virtual void ShowMuted(bool /*muted*/) {}
};

// Everything the dialog borrows from its platform.
struct DialogServices {
  IDialogWindow* window;
  IPageHost* pages;
  IMessageBox* messages;
  ITimers* timers;
  IShell* shell;
  ILiveWindow* live;
  // What the dialog's own waits and its workers' pauses are measured with.
  Clock* clock;
  // Who answers at an address, before a fixed address is proposed or taken;
  // null: no address is checked (the tests that run outside a virtual LAN).
  NeighbourProbe* neighbours = nullptr;
};
