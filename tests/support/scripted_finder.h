// The dialog's real discovery worker over in-memory adapters and datagrams:
// it never touches the network, and its listening windows end at once. The
// test scripts the cameras' replies per command.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/quenlo_dlg.h"
#include "discovery/fake_adapter_source.h"
#include "discovery/fake_discovery_transport.h"
#include "discovery/ip_finder_thread.h"

class ScriptedFinder : public NTavoIPFinderThread {
 public:
  ScriptedFinder(CQuenloDlg* owner, FakeAdapterSource* adapters, FakeDiscoveryTransport* transport)
      : NTavoIPFinderThread(&CQuenloDlg::FinderThunk, owner,
                            std::unique_ptr<AdapterSource>(adapters),
                            std::unique_ptr<DiscoveryTransport>(transport)),
        hold(transport->hold),
        adapters_(adapters),
        transport_(transport) {}
  ~ScriptedFinder() override {
    hold.store(false);
    WaitForEnd();
  }

  // The command codes of the jobs run so far, in order.
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
  FakeDiscoveryTransport& transport() { return *transport_; }

  // While set, a job waits before its end, after its replies.
  std::atomic<bool>& hold;

 protected:
  int Run() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(commandCode);
    }
    return NTavoIPFinderThread::Run();
  }

 private:
  FakeAdapterSource* adapters_;        // owned by the base class
  FakeDiscoveryTransport* transport_;  // owned by the base class
  mutable std::mutex mutex_;
  std::vector<int> jobs_;  // guarded by mutex_
};

// A live-view worker that never opens a connection: it runs, takes its
// camera as the real one does, and tries to open once, failing when stopped
// (its pause between attempts passes at once on the fake clock).
template <typename Stream>
class IdleStream : public Stream {
 public:
  ~IdleStream() override {
    this->Stop();
    this->WaitForEnd();
  }
  std::atomic<int> opens{0};

 protected:
  bool OpenStream() override {
    ++opens;
    while (!this->IsStopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return false;
  }
};

// The dialog with a scripted finder and idle live-view workers; `fail_*`
// makes the start-up fail to create one.
class ScriptedDlg : public CQuenloDlg {
 public:
  using CQuenloDlg::CQuenloDlg;
  bool fail_finder = false, fail_video = false, fail_audio = false;
  ScriptedFinder* finder = nullptr;  // owned by the dialog while HasFinder()
  bool HasFinder() const { return CQuenloDlg::finder() != nullptr; }
  NTavoVideoThread* Video() const { return live_view().video(); }
  NTavoAudioThread* Audio() const { return live_view().audio(); }

 protected:
  std::unique_ptr<NTavoIPFinderThread> CreateFinder() override {
    if (fail_finder) return nullptr;
    auto made = std::make_unique<ScriptedFinder>(
        this, new FakeAdapterSource,
        new FakeDiscoveryTransport(dynamic_cast<FakeClock*>(&clock())));
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
