// Second base of the concrete worker threads: records which thread's message
// queue was started. Linux threads have no message queue, so starting it
// means recording the worker's id, done by the OnStart overrides.
#pragma once

#include <atomic>
#include <cstdint>

class UThread;

class UThreadMessage {
 public:
  // Written on the worker thread only (in OnStart); atomic so that the owner
  // may read it at any time.
  std::atomic<uint32_t> queueThreadId{0};

 protected:
  // The shared "message-queue start" of the OnStart overrides: call it on the
  // worker thread with the worker itself. Returns 0, as OnStart does.
  int StartMessageQueue(const UThread& worker);
};
