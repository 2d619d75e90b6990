// A discovery worker for dialog tests that never touches the network: each
// job reports what the test scripted for its command code, then ends with
// the end-of-job call, like the real finder. Adapter questions are answered
// from a FakeAdapterSource.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/quenlo_dlg.h"
#include "discovery/fake_adapter_source.h"
#include "discovery/ip_finder_thread.h"

class ScriptedFinder : public NTavoIPFinderThread {
 public:
  // What one job reports before its end: calls the dialog's callback
  // (`report`) as the real job would.
  using Script = std::function<void(ScriptedFinder& self)>;

  ScriptedFinder(CQuenloDlg* owner, FakeAdapterSource* adapters)
      : NTavoIPFinderThread(nullptr, nullptr, std::unique_ptr<AdapterSource>(adapters)),
        owner_(owner),
        adapters_(adapters) {}
  ~ScriptedFinder() override {
    hold.store(false);
    WaitForEnd(-1);
  }

  void Report(const void* data, int command, bool done) {
    CQuenloDlg::FinderThunk(owner_, data, command, done);
  }
  void SetScript(int command, Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_[command] = std::move(script);
  }
  std::vector<int> Jobs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_;
  }
  // Waits until the job in progress has ended.
  bool WaitIdle(int timeout_ms = 5000) {
    for (int waited = 0; IsRunning(); waited += 2) {
      if (waited >= timeout_ms) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  FakeAdapterSource& adapters() { return *adapters_; }

  // While set, a job waits after its script, before its end.
  std::atomic<bool> hold{false};

 protected:
  int Run() override {
    Script script;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(commandCode);
      if (scripts_.count(commandCode)) script = scripts_[commandCode];
    }
    if (script) script(*this);
    while (hold.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Report(nullptr, commandCode, true);
    return 0;
  }

 private:
  CQuenloDlg* owner_;
  FakeAdapterSource* adapters_;  // owned by the base class
  mutable std::mutex mutex_;
  std::map<int, Script> scripts_;  // guarded by mutex_
  std::vector<int> jobs_;          // guarded by mutex_
};

// A live-view worker that never opens a connection: it runs, takes its
// camera as the real one does, and keeps failing to open until stopped.
template <typename Stream>
class IdleStream : public Stream {
 public:
  ~IdleStream() override {
    this->Stop();
    this->WaitForEnd(-1);
  }
  std::atomic<int> opens{0};

 protected:
  bool OpenStream() override {
    ++opens;
    return false;
  }
};

// The dialog with a scripted finder and idle live-view workers; `fail_*`
// makes the start-up fail to create one.
class ScriptedDlg : public CQuenloDlg {
 public:
  using CQuenloDlg::CQuenloDlg;
  bool fail_finder = false, fail_video = false, fail_audio = false;
  ScriptedFinder* finder = nullptr;  // owned by m_finder

 protected:
  std::unique_ptr<NTavoIPFinderThread> CreateFinder() override {
    if (fail_finder) return nullptr;
    auto made = std::make_unique<ScriptedFinder>(this, new FakeAdapterSource);
    finder = made.get();
    return made;
  }
  std::unique_ptr<NTavoVideoThread> CreateVideo() override {
    return fail_video ? nullptr : std::make_unique<IdleStream<NTavoVideoThread>>();
  }
  std::unique_ptr<NTavoAudioThread> CreateAudio() override {
    return fail_audio ? nullptr : std::make_unique<IdleStream<NTavoAudioThread>>();
  }
};
