// In-memory stand-ins for the page host and the window services, so that the
// dialog's logic runs without a display.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/dialog_window.h"
#include "app/page_host.h"
#include "support/fake_clock.h"

// Records navigations and script calls and holds element attributes. A
// navigation clears the elements, as loading a new document does; a test
// adds the elements of the page it pretends to show.
class FakePageHost : public IPageHost {
 public:
  struct ScriptCall {
    std::string function;
    std::vector<std::string> args;
  };

  void SetEvents(IPageEvents* events) override { events_ = events; }
  void Navigate(const std::string& path) override {
    navigations.push_back(path);
    elements.clear();
  }
  PageValue GetAttribute(const std::string& id, const std::string& name) override {
    auto it = elements.find({id, name});
    return it == elements.end() ? PageValue{} : it->second;
  }
  bool SetAttribute(const std::string& id, const std::string& name,
                    const std::string& value) override {
    if (!HasElement(id)) return true;
    elements[{id, name}] = value;
    return true;
  }
  bool CallScript(const std::string& function, const std::vector<std::string>& args) override {
    scripts.push_back({function, args});
    return true;
  }

  bool HasElement(const std::string& id) const {
    for (const auto& [key, value] : elements) {
      if (key.first == id) return true;
    }
    return false;
  }
  void AddElement(const std::string& id, const std::string& name, PageValue value) {
    elements[{id, name}] = std::move(value);
  }
  // Completes the last navigation, as the browser does once it has loaded.
  void Complete() { events_->OnDocumentComplete(navigations.back()); }
  bool Click(const std::string& id) { return events_->OnElementClick(id); }
  std::string LastPage() const { return navigations.empty() ? "" : navigations.back(); }
  // The arguments of the last call of `function`; empty when none.
  std::vector<std::string> LastArgs(const std::string& function) const {
    for (auto it = scripts.rbegin(); it != scripts.rend(); ++it) {
      if (it->function == function) return it->args;
    }
    return {};
  }
  int ScriptCount(const std::string& function) const {
    int n = 0;
    for (const ScriptCall& c : scripts) n += c.function == function;
    return n;
  }

  std::vector<std::string> navigations;
  std::vector<ScriptCall> scripts;
  std::map<std::pair<std::string, std::string>, PageValue> elements;

 private:
  IPageEvents* events_ = nullptr;
};

// What the dialog did through its window services, for the test to read.
// `mutex` guards what worker threads reach: the posts and the timers.
struct FakeWindowRecord {
  std::mutex mutex;
  FakeClock clock;  // the dialog's and its workers' time
  std::string title = "(unset)";
  int width = -1, height = -1;
  std::vector<int> quit_codes;
  std::string about_item;
  std::vector<std::string> about_captions, about_texts;
  std::vector<std::pair<std::string, std::string>> boxes;      // guarded by mutex
  std::vector<std::pair<std::string, std::string>> box_looks;  // heading, field; guarded by mutex
  std::vector<std::string> questions;
  bool answer_yes = false;
  int choice = -1;            // what a choice is answered with: an index, or -1 for none
  std::map<int, int> timers;  // guarded by mutex
  std::function<void(int)> timer_handler;
  std::vector<std::function<void()>> posted;  // guarded by mutex
  std::vector<std::string> opened;
  bool live_visible = true;
  std::vector<bool> live_muted_shown;  // what ShowMuted was told, in order
};

// One fake per service, each recording into the shared record.
class FakeMainWindow : public IDialogWindow {
 public:
  explicit FakeMainWindow(FakeWindowRecord& r) : r_(r) {}
  void SetTitle(const std::string& t) override { r_.title = t; }
  void SetClientSize(int w, int h) override {
    r_.width = w;
    r_.height = h;
  }
  void PostQuit(int code) override { r_.quit_codes.push_back(code); }
  void AddAboutItem(const std::string& text) override { r_.about_item = text; }
  void ShowAbout(const CAboutDlg& about) override {
    r_.about_captions.push_back(about.Caption());
    r_.about_texts.push_back(about.TitleText());
  }

 private:
  FakeWindowRecord& r_;
};

class FakeMessageBoxes : public IMessageBox {
 public:
  explicit FakeMessageBoxes(FakeWindowRecord& r) : r_(r) {}
  void Show(const std::string& caption, const MessageText& message) override {
    std::lock_guard<std::mutex> lock(r_.mutex);
    r_.boxes.push_back({caption, message.text});
    r_.box_looks.push_back({message.heading, message.field});
  }
  bool Ask(const std::string& caption, const std::string& question, const std::string& yes,
           const std::string& no) override {
    r_.questions.push_back(caption + "|" + question + "|" + yes + "|" + no);
    return r_.answer_yes;
  }
  // Recorded as a question: caption, text, every choice and `none`.
  int Choose(const std::string& caption, const std::string& question,
             const std::vector<std::string>& choices, const std::string& none) override {
    std::string asked = caption + "|" + question;
    for (const std::string& choice : choices) asked += "|" + choice;
    r_.questions.push_back(asked + "|" + none);
    return r_.choice < static_cast<int>(choices.size()) ? r_.choice : -1;
  }

 private:
  FakeWindowRecord& r_;
};

class FakeTimers : public ITimers {
 public:
  explicit FakeTimers(FakeWindowRecord& r) : r_(r) {}
  void SetHandler(std::function<void(int)> h) override { r_.timer_handler = std::move(h); }
  void Start(int id, int period_ms) override {
    std::lock_guard<std::mutex> lock(r_.mutex);
    r_.timers[id] = period_ms;
  }
  void Kill(int id) override {
    std::lock_guard<std::mutex> lock(r_.mutex);
    r_.timers.erase(id);
  }
  void Post(std::function<void()> fn) override {
    std::lock_guard<std::mutex> lock(r_.mutex);
    r_.posted.push_back(std::move(fn));
  }

 private:
  FakeWindowRecord& r_;
};

class FakeShell : public IShell {
 public:
  explicit FakeShell(FakeWindowRecord& r) : r_(r) {}
  void Open(const std::string& target) override { r_.opened.push_back(target); }

 private:
  FakeWindowRecord& r_;
};

class FakeLiveWindow : public ILiveWindow {
 public:
  explicit FakeLiveWindow(FakeWindowRecord& r) : r_(r) {}
  void Show() override { r_.live_visible = true; }
  void Hide() override { r_.live_visible = false; }
  bool IsVisible() const override { return r_.live_visible; }
  ILiveTarget* Target() override { return nullptr; }
  void ShowMuted(bool muted) override { r_.live_muted_shown.push_back(muted); }

 private:
  FakeWindowRecord& r_;
};

// The window services of the dialog under test, and what they recorded.
class FakeDialogWindow : public FakeWindowRecord {
 public:
  bool TimerPending(int id) {
    std::lock_guard<std::mutex> lock(mutex);
    return timers.count(id) != 0;
  }
  // As the UI thread would, on the calling thread: runs what workers posted,
  // in order. False when nothing was posted.
  bool RunPosted() {
    std::vector<std::function<void()>> due;
    {
      std::lock_guard<std::mutex> lock(mutex);
      due.swap(posted);
    }
    for (auto& fn : due) fn();
    return !due.empty();
  }
  bool HasPosted() {
    std::lock_guard<std::mutex> lock(mutex);
    return !posted.empty();
  }
  // The pending timer `id` runs out: its time passes on the clock, then the
  // handler runs. False when no such timer is pending.
  bool FireTimer(int id) {
    int period_ms;
    {
      std::lock_guard<std::mutex> lock(mutex);
      auto it = timers.find(id);
      if (it == timers.end()) return false;
      period_ms = it->second;
      timers.erase(it);
    }
    clock.AdvanceTo(clock.Now() + std::chrono::milliseconds(period_ms));
    if (timer_handler) timer_handler(id);
    return true;
  }

  DialogServices Services(IPageHost* pages) {
    return DialogServices{&main_, pages, &messages_, &timers_, &shell_, &live_, &clock};
  }

 private:
  FakeMainWindow main_{*this};
  FakeMessageBoxes messages_{*this};
  FakeTimers timers_{*this};
  FakeShell shell_{*this};
  FakeLiveWindow live_{*this};
};
