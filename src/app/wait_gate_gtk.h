// The dialog's waits on the UI thread (IDialogWindow::PollPause): while one
// lasts the page takes no input and shows a busy cursor, and what the dialog
// would be handed (timers, page events, menu and close commands) is held
// until the wait has ended.
#pragma once

#include <functional>
#include <vector>

typedef struct _GtkWidget GtkWidget;

// Threads: UI thread only, every method and member. Workers never see it:
// what they ask for (boxes, timers) reaches the UI thread first.
class WaitGateGtk {
 public:
  // `window` gets the busy cursor, `input` (the page's container) is made
  // insensitive while a wait lasts. Both outlive the gate.
  WaitGateGtk(GtkWidget* window, GtkWidget* input);
  ~WaitGateGtk();
  WaitGateGtk(const WaitGateGtk&) = delete;
  WaitGateGtk& operator=(const WaitGateGtk&) = delete;

  // A wait begins / ends. Waits nest (a box's loop may run another wait).
  // The held events run once control is back in the main loop, so that a
  // wait that follows at once keeps the window busy without a flicker.
  void Enter();
  void Leave();
  bool InWait() const { return depth_ > 0; }
  // Runs `fn` now, or when the wait in progress has ended.
  void RunOrDefer(std::function<void()> fn);
  // Runs at the end of each wait, before the held events: the timers keep
  // their own held firings (a killed timer must not fire later).
  void SetWaitEndHandler(std::function<void()> handler) { wait_end_ = std::move(handler); }

 private:
  friend struct WaitGateCallbacks;

  void SetBusy(bool on);
  void ScheduleEnd();
  void End();

  GtkWidget* window_;
  GtkWidget* input_;
  int depth_ = 0;
  bool busy_ = false;
  bool end_scheduled_ = false;
  std::vector<std::function<void()>> deferred_;
  std::function<void()> wait_end_;
};
