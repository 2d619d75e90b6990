// The dialog window's one-shot timers on GLib timeouts.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "app/dialog_window.h"

class WaitGateGtk;

// Threads: Start and Kill from any thread; the rest on the UI thread (the
// one that constructed the object). A worker's Start is a request that the
// UI thread turns into a GLib timeout; mutex_ guards the requests and the
// running timeouts. A timer that fires inside a wait of the dialog is held
// (UI thread only) and fires when the wait has ended, in firing order.
class TimersGtk : public ITimers {
 public:
  explicit TimersGtk(WaitGateGtk& waits);
  ~TimersGtk() override;
  TimersGtk(const TimersGtk&) = delete;
  TimersGtk& operator=(const TimersGtk&) = delete;

  // ITimers
  void SetHandler(std::function<void(int id)> handler) override;
  void Start(int id, int period_ms) override;
  void Kill(int id) override;

 private:
  friend struct TimersCallbacks;

  void StartRequested();
  void Fired(int id);
  void FireHeld();

  WaitGateGtk& waits_;
  const std::thread::id ui_thread_;
  std::function<void(int)> handler_;  // UI thread
  std::vector<int> held_;             // UI thread: fired during a wait
  std::mutex mutex_;
  std::map<int, unsigned> running_;  // id -> GLib source; guarded by mutex_
  std::map<int, int> requests_;      // id -> ms; guarded by mutex_
};
