#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "discovery/discovery_wire.h"
#include "discovery/ip_finder_thread.h"

// Collects what a finder job reports. The callback runs on the finder's
// thread; the test reads the events after the job has ended.
class FinderProbe {
 public:
  struct Event {
    int command;
    bool done;
    bool hasData;
    CameraRecord record;            // command 1
    uint8_t result;                 // result commands
    std::vector<uint8_t> datagram;  // data commands
  };

  static void Callback(void* context, const void* data, int command, bool done) {
    static_cast<FinderProbe*>(context)->Add(data, command, done);
  }

  // Starts the job and waits for its end (60 s at most). False when it could
  // not start or did not end.
  static bool RunJob(NTavoIPFinderThread& finder) {
    return finder.Start() && finder.WaitForEnd(std::chrono::seconds(60));
  }

  std::vector<Event> Events() const {
    std::lock_guard<std::mutex> lock(mu_);
    return events_;
  }
  std::vector<CameraRecord> Records() const {
    std::vector<CameraRecord> records;
    for (const Event& e : Events())
      if (!e.done && e.command == kCommandSearch && e.hasData) records.push_back(e.record);
    return records;
  }
  // True when the job reported exactly one end call, as its last event, with
  // `command`.
  bool EndedOnceWith(int command) const {
    const std::vector<Event> events = Events();
    int ends = 0;
    for (const Event& e : events) ends += e.done ? 1 : 0;
    return ends == 1 && events.back().done && events.back().command == command &&
           !events.back().hasData;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mu_);
    events_.clear();
  }

 private:
  void Add(const void* data, int command, bool done) {
    Event e{};
    e.command = command;
    e.done = done;
    e.hasData = data != nullptr;
    const CommandLayout* layout = FindCommandLayout(command);
    if (data && command == kCommandSearch) std::memcpy(&e.record, data, sizeof e.record);
    if (data && layout && !layout->dataReply && command != kCommandSearch)
      e.result = *static_cast<const uint8_t*>(data);
    if (data && layout && layout->dataReply) {
      const auto* bytes = static_cast<const uint8_t*>(data);
      e.datagram.assign(bytes, bytes + layout->replySize);
    }
    std::lock_guard<std::mutex> lock(mu_);
    events_.push_back(e);
  }

  mutable std::mutex mu_;
  std::vector<Event> events_;  // guarded by mu_
};

// Moves the calling thread into a new, empty network namespace for its
// lifetime, so that nothing a test starts there can reach any network.
class IsolatedNetwork {
 public:
  IsolatedNetwork() {
    saved_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    entered_ = saved_ >= 0 && unshare(CLONE_NEWNET) == 0;
  }
  ~IsolatedNetwork() {
    if (entered_ && setns(saved_, CLONE_NEWNET) != 0) std::abort();
    if (saved_ >= 0) close(saved_);
  }
  IsolatedNetwork(const IsolatedNetwork&) = delete;
  IsolatedNetwork& operator=(const IsolatedNetwork&) = delete;
  bool ok() const { return entered_; }

 private:
  int saved_ = -1;
  bool entered_ = false;
};
