#include "thread/uthread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <system_error>

#include "thread/uthread_message.h"

UThread::UThread(const char* name) {
  std::strncpy(threadName, name ? name : "", kNameSize - 1);
  threadName[kNameSize - 1] = '\0';
}

UThread::~UThread() {
  if (running_.load()) stopRequested.store(true);
  if (threadHandle.joinable()) threadHandle.join();
}

bool UThread::Start() {
  if (running_.load()) return false;
  JoinFinished();
  stopRequested.store(false);
  running_.store(true);
  try {
    threadHandle = std::thread(&UThread::ThreadStartRoutine, this);
  } catch (const std::system_error&) {
    // No body runs; the stop flag stays cleared, as after any Start.
    running_.store(false);
    return false;
  }
  has_thread_.store(true);
  return true;
}

void UThread::Stop() {
  if (running_.load()) stopRequested.store(true);
}

void UThread::RequestStop() { stopRequested.store(true); }

bool UThread::WaitForEnd(std::chrono::milliseconds limit) {
  if (limit >= std::chrono::milliseconds(0)) {
    std::unique_lock<std::mutex> lock(end_mutex_);
    if (!ended_.wait_for(lock, limit, [this] { return !running_.load(); })) return false;
  }
  JoinFinished();
  return true;
}

int UThread::OnStart() { return 0; }

int UThread::OnEnd() { return 0; }

void UThread::JoinFinished() {
  if (threadHandle.joinable()) threadHandle.join();
}

void UThread::ThreadStartRoutine(UThread* self) {
  self->threadId.store(static_cast<uint32_t>(::syscall(SYS_gettid)));
  self->OnStart();
  int result = self->Run();
  self->OnEnd();
  self->exit_code_.store(result);
  self->stopRequested.store(true);
  // Last touch of the object: after this the owner may delete it (its
  // destructor joins this thread first).
  std::lock_guard<std::mutex> lock(self->end_mutex_);
  self->running_.store(false);
  self->ended_.notify_all();
}

int UThreadMessage::StartMessageQueue(const UThread& worker) {
  queueThreadId.store(worker.ThreadId());
  return 0;
}
