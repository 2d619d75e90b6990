#include "app/timers_gtk.h"

#include <gtk/gtk.h>

#include <algorithm>

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
  static gboolean OnPosted(gpointer data) {
    static_cast<TimersGtk*>(data)->RunPosted();
    return G_SOURCE_REMOVE;
  }
};

TimersGtk::TimersGtk(std::function<bool()> held) : held_(std::move(held)) {}

TimersGtk::~TimersGtk() {
  while (g_idle_remove_by_data(this)) {
  }
  for (const auto& [id, source] : running_) g_source_remove(source);
}

void TimersGtk::SetHandler(std::function<void(int)> handler) { handler_ = std::move(handler); }

// A timer with the same id is replaced.
void TimersGtk::Start(int id, int period_ms) {
  Kill(id);
  running_[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(period_ms),
                                    TimersCallbacks::OnTick, new TimerTick{this, id},
                                    [](gpointer p) { delete static_cast<TimerTick*>(p); });
}

void TimersGtk::Kill(int id) {
  due_.erase(std::remove(due_.begin(), due_.end(), id), due_.end());
  auto it = running_.find(id);
  if (it == running_.end()) return;
  g_source_remove(it->second);
  running_.erase(it);
}

void TimersGtk::Fired(int id) {
  running_.erase(id);  // one-shot: gone before the handler runs
  if (Held()) {
    due_.push_back(id);
  } else if (handler_ && !closing_) {
    handler_(id);
  }
}

void TimersGtk::Post(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(fn));
  }
  g_idle_add(TimersCallbacks::OnPosted, this);
}

void TimersGtk::Resume() { g_idle_add(TimersCallbacks::OnPosted, this); }

void TimersGtk::BeginClosing() {
  closing_ = true;
  due_.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  posted_.clear();
}

// What was held back runs in two rounds: the timers that came due, then the posts.
void TimersGtk::RunPosted() {
  while (!closing_ && !Held() && !due_.empty()) {
    const int id = due_.front();
    due_.erase(due_.begin());
    if (handler_) handler_(id);
  }
  while (!closing_ && !Held()) {
    std::function<void()> fn;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (posted_.empty()) return;
      fn = std::move(posted_.front());
      posted_.pop_front();
    }
    fn();
  }
}
