#include "app/timers_gtk.h"

#include <gtk/gtk.h>

#include "app/wait_gate_gtk.h"

namespace {

struct TimerTick {
  TimersGtk* timers;
  int id;
};

}  // namespace

struct TimersCallbacks {
  static gboolean OnTick(gpointer data) {
    auto* tick = static_cast<TimerTick*>(data);
    tick->timers->Fired(tick->id);
    return G_SOURCE_REMOVE;
  }
  static gboolean StartOnUiThread(gpointer data) {
    static_cast<TimersGtk*>(data)->StartRequested();
    return G_SOURCE_REMOVE;
  }
};

TimersGtk::TimersGtk(WaitGateGtk& waits) : waits_(waits), ui_thread_(std::this_thread::get_id()) {
  waits_.SetWaitEndHandler([this] { FireHeld(); });
}

TimersGtk::~TimersGtk() {
  waits_.SetWaitEndHandler(nullptr);
  while (g_idle_remove_by_data(this)) {
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [id, source] : running_) g_source_remove(source);
  running_.clear();
}

void TimersGtk::SetHandler(std::function<void(int)> handler) { handler_ = std::move(handler); }

void TimersGtk::Start(int id, int period_ms) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_[id] = period_ms;
  }
  if (std::this_thread::get_id() == ui_thread_) {
    StartRequested();
  } else {
    g_idle_add(TimersCallbacks::StartOnUiThread, this);
  }
}

void TimersGtk::Kill(int id) {
  if (std::this_thread::get_id() == ui_thread_) std::erase(held_, id);
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.erase(id);
  auto it = running_.find(id);
  if (it == running_.end()) return;
  g_source_remove(it->second);
  running_.erase(it);
}

// UI thread: turns the requests of any thread into GLib timeouts; a request
// replaces a running timer with the same id.
void TimersGtk::StartRequested() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [id, period_ms] : requests_) {
    auto it = running_.find(id);
    if (it != running_.end()) g_source_remove(it->second);
    running_[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(period_ms),
                                      TimersCallbacks::OnTick, new TimerTick{this, id},
                                      [](gpointer p) { delete static_cast<TimerTick*>(p); });
  }
  requests_.clear();
}

void TimersGtk::Fired(int id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_.erase(id);  // one-shot: gone before the handler runs
  }
  if (waits_.InWait()) {
    held_.push_back(id);
  } else if (handler_) {
    handler_(id);
  }
}

void TimersGtk::FireHeld() {
  std::vector<int> due;
  due.swap(held_);
  for (int id : due) {
    if (handler_) handler_(id);
  }
}
