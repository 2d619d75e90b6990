// A piece of slow work (network questions that take seconds) on a thread of
// its own, so that the UI thread never waits for it.
#pragma once

#include <functional>
#include <memory>
#include <system_error>
#include <thread>

// Threads: Start, Join and the destructor on the owner's (UI) thread; the
// work on the job's thread. The work hands its outcome over itself
// (ITimers::Post).
class WorkerJob {
 public:
  WorkerJob() = default;
  ~WorkerJob() { Join(); }
  WorkerJob(const WorkerJob&) = delete;
  WorkerJob& operator=(const WorkerJob&) = delete;

  // Runs `work` on a new thread once the previous one has ended; on the
  // caller's thread when no thread can be made.
  void Start(std::function<void()> work) {
    Join();
    auto task = std::make_shared<std::function<void()>>(std::move(work));
    try {
      thread_ = std::thread([task] { (*task)(); });
    } catch (const std::system_error&) {
      (*task)();
    }
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};
