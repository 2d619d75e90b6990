// The dialog window's one-shot timers on GLib timeouts, and the hand-over of
// work from other threads to the UI thread.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "app/dialog_window.h"

// Threads: Post from any thread; everything else on the UI thread (the one
// that constructed the object). mutex_ guards the posts; a post runs from an
// idle callback, in order, and waits while `held` says so (a message box is
// open: the dialog is not handed anything inside a box's loop). So does a
// timer that comes due meanwhile: it fires once, after the box has closed.
class TimersGtk : public ITimers {
 public:
  explicit TimersGtk(std::function<bool()> held);
  ~TimersGtk() override;
  TimersGtk(const TimersGtk&) = delete;
  TimersGtk& operator=(const TimersGtk&) = delete;

  // ITimers
  void SetHandler(std::function<void(int id)> handler) override;
  void Start(int id, int period_ms) override;
  void Kill(int id) override;
  void Post(std::function<void()> fn) override;

  // UI thread: what was held back may run now.
  void Resume();
  // Later posts and timers are dropped: the window is closing.
  void BeginClosing();

 private:
  friend struct TimersCallbacks;

  void Fired(int id);
  void RunPosted();
  bool Held() const { return held_ && held_(); }

  std::function<bool()> held_;
  std::function<void(int)> handler_;
  std::map<int, unsigned> running_;  // id -> GLib source
  std::vector<int> due_;             // came due while held, in order
  bool closing_ = false;
  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;  // guarded by mutex_
};
