// The datagrams beneath the discovery transactions, and the clock their
// listening windows are measured with: UDP broadcast on the system in the
// program, an in-memory fake in tests, whose fake clock ends a window at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "discovery/adapters.h"
#include "thread/clock.h"

class UWakeup;

// Used by one thread at a time (the finder's).
class DiscoveryTransport {
 public:
  using Clock = std::chrono::steady_clock;

  // What Receive returns instead of a length.
  static constexpr long kTimedOut = -1;  // nothing came by the deadline
  static constexpr long kEnded = -2;     // the stop was signalled, or receiving failed

  // The replies to one request, as they come.
  class Exchange {
   public:
    virtual ~Exchange() = default;
    // Sends the request again from the same socket, so that its answers come
    // here too: false when it could not be sent.
    virtual bool Send(const uint8_t* request, size_t length) = 0;
    // Waits until `deadline` for the next datagram: its whole length (only
    // the first `size` bytes are stored, so a longer one shows by its
    // length), kTimedOut when none came by then, or kEnded. `source` gets
    // the sender's IPv4 address in network byte order.
    virtual long Receive(uint8_t* buffer, size_t size, Clock::time_point deadline,
                         uint32_t* source) = 0;
    // Datagrams the system dropped so far because the receive buffer was
    // full: answers lost before they could be read.
    virtual uint32_t Dropped() const { return 0; }
  };

  // `clock` measures the windows and pauses; it outlives the transport.
  explicit DiscoveryTransport(::Clock& clock = SystemClock()) : clock_(clock) {}
  virtual ~DiscoveryTransport() = default;
  // Broadcasts `request` to the cameras' port through `adapter`, from the
  // adapter's own address; null when it could not be sent.
  virtual std::unique_ptr<Exchange> Broadcast(const AdapterEntry& adapter, const uint8_t* request,
                                              size_t length) = 0;
  // The wake-up that ends every wait of this transport at once (Receive and
  // Sleep); null: none. Set by the owner before the first exchange, and
  // outlives the transport.
  void SetStop(const UWakeup* stop) { stop_ = stop; }
  const UWakeup* StopSignal() const { return stop_; }
  Clock::time_point Now() { return clock_.Now(); }
  // False when the stop ended the pause.
  bool Sleep(std::chrono::milliseconds duration) { return clock_.Sleep(duration, stop_); }

 private:
  ::Clock& clock_;
  const UWakeup* stop_ = nullptr;
};

// A burst of answers must not be dropped: each exchange asks for 4 MiB of
// receive buffer, beyond the system's limit when privileged; a smaller
// buffer is no reason to give up.
constexpr int kDiscoveryReceiveBufferBytes = 4 * 1024 * 1024;

// UDP on this machine's interfaces, its windows measured with `clock`.
std::unique_ptr<DiscoveryTransport> MakeSystemDiscoveryTransport(
    int receive_buffer_bytes = kDiscoveryReceiveBufferBytes, Clock& clock = SystemClock());
inline std::unique_ptr<DiscoveryTransport> MakeSystemDiscoveryTransport(Clock& clock) {
  return MakeSystemDiscoveryTransport(kDiscoveryReceiveBufferBytes, clock);
}

// The receive buffer an exchange's socket gets, in bytes as the system
// reports it (it counts its own bookkeeping, so it may show twice the request).
int DiscoveryReceiveBufferSize();
