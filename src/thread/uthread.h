// Base of every worker thread: one operating-system thread at a time running
// OnStart, Run and OnEnd, with a cooperative stop flag polled by the body.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// Threads: Start, Stop, RequestStop, WaitForEnd and the destructor are called
// on the owner's thread; Run, OnStart and OnEnd run on the worker thread.
// The running state, the stop flag, the thread id and the exit code are atomic.
// The object outlives its thread: a finished thread can be started again.
class UThread {
 public:
  static constexpr int kNameSize = 80;  // 79 characters and the terminator
  static constexpr int kPollMs = 100;   // a looping body's pause between tests of its flag
  static constexpr std::chrono::milliseconds kForever{-1};

  explicit UThread(const char* name);
  // Asks a still-running body to stop and joins it. Owners wait for the end
  // (Stop, then WaitForEnd) before deleting, so this normally only joins.
  virtual ~UThread();
  UThread(const UThread&) = delete;
  UThread& operator=(const UThread&) = delete;

  // Starts a new thread: true when one was started; false when the earlier
  // thread still runs (nothing changes then) or creation failed.
  bool Start();
  // Sets the stop flag, but only while the thread runs. Never waits.
  virtual void Stop();
  // Sets the stop flag unconditionally. Never waits.
  virtual void RequestStop();

  // The "still active" test: true from a successful Start until the body,
  // OnEnd included, has returned.
  bool IsRunning() const { return running_.load(); }
  bool IsStopRequested() const { return stopRequested.load(); }
  // A thread was started at least once.
  bool HasThread() const { return has_thread_.load(); }
  // Joins the thread: returns as soon as the body, OnEnd included, has
  // returned. With a `limit` it gives up after that long: false when the
  // thread still runs. True when the thread is not running (also when it
  // never ran). Does not ask the body to stop: looping bodies need Stop first.
  bool WaitForEnd(std::chrono::milliseconds limit = kForever);
  // Joins the thread: for a body that has stopped or reported its end, whose
  // thread is on its way out. Owner thread.
  void Join() { JoinFinished(); }

  const char* ThreadName() const { return threadName; }
  // Kernel id of the running or last-run thread; 0 before the first run.
  uint32_t ThreadId() const { return threadId.load(); }
  // Run's result of the last finished run; 0 before.
  int ExitCode() const { return exit_code_.load(); }

 protected:
  // The thread body; its result is the thread's exit code.
  virtual int Run() = 0;
  virtual int OnStart();
  virtual int OnEnd();

 private:
  static void ThreadStartRoutine(UThread* self);
  void JoinFinished();

  char threadName[kNameSize];
  std::thread threadHandle;  // owner thread only
  std::atomic<uint32_t> threadId{0};
  std::atomic<bool> stopRequested{true};
  std::atomic<bool> running_{false};  // written under end_mutex_, so that waits see its end
  std::mutex end_mutex_;
  std::condition_variable ended_;
  std::atomic<bool> has_thread_{false};
  std::atomic<int> exit_code_{0};
};
