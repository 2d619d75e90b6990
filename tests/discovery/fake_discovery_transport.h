// An in-memory discovery transport for the finder's and the dialog's tests:
// each request is answered with the datagrams scripted for its command, each
// heard through the adapter it names (or through every adapter), from the
// address it claims unless told otherwise, and answering the copies of the
// request it is told to. Its clock is a FakeClock, which moves only when a
// wait would pass, so a listening window ends at once; the transport's stop
// ends a wait without moving it.
// Thread-safe: the test scripts it while the finder's thread uses it.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "discovery/discovery_transport.h"
#include "discovery/discovery_wire.h"
#include "support/fake_clock.h"

class FakeDiscoveryTransport : public DiscoveryTransport {
  FakeClock own_clock_;  // declared before the members that refer to the clock
  FakeClock& clock_;

 public:
  // Measures its windows with `clock` (which must outlive it), or with a
  // clock of its own.
  explicit FakeDiscoveryTransport(FakeClock* clock = nullptr)
      : DiscoveryTransport(clock ? *clock : own_clock_), clock_(clock ? *clock : own_clock_) {}

  struct Datagram {
    std::vector<uint8_t> bytes;
    bool every_adapter = true;
    std::array<uint8_t, 8> adapter{};  // the one that hears it, unless every_adapter
    std::optional<uint32_t> source;    // the sender; unset: the address it claims
    bool names_target = false;         // takes the MAC the request names
    std::vector<int> answers{0};       // the copies of the request (0 the first) it answers
  };
  // One datagram the transport sent.
  struct SentDatagram {
    int command;
    std::vector<uint8_t> bytes;
    Clock::time_point at;
  };

  // A camera's search reply: the record's first 541 bytes with the reply's
  // header, heard through the adapter the record names.
  static Datagram SearchReply(const CameraRecord& record) {
    Datagram d;
    d.bytes.assign(reinterpret_cast<const uint8_t*>(&record),
                   reinterpret_cast<const uint8_t*>(&record) + kSearchReplySize);
    std::memcpy(d.bytes.data(), "RAVN", 4);
    d.bytes[8] = kDirectionReply;
    d.bytes[9] = kCommandSearch;
    d.bytes[10] = 0;
    d.bytes[23] = d.bytes[24] = 0;
    d.every_adapter = false;
    std::memcpy(d.adapter.data(), record.adapterAddress, 8);
    return d;
  }
  // A bare reply header to `command` with `status` (0: done), from the
  // camera the request names.
  static Datagram ResultReply(int command, uint16_t status) {
    Datagram d;
    d.names_target = true;
    d.bytes.assign(kResultReplySize, 0);
    std::memcpy(d.bytes.data(), "RAVN", 4);
    d.bytes[8] = kDirectionReply;
    d.bytes[9] = static_cast<uint8_t>(command);
    d.bytes[23] = static_cast<uint8_t>(status);
    d.bytes[24] = static_cast<uint8_t>(status >> 8);
    return d;
  }

  void SetReplies(int command, std::vector<Datagram> replies) {
    std::lock_guard<std::mutex> lock(mu_);
    replies_[command] = std::move(replies);
  }
  // The command codes of the datagrams sent so far, in order (a resent
  // request once for each copy).
  std::vector<int> Sent() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<int> codes;
    for (const SentDatagram& d : sent_) codes.push_back(d.command);
    return codes;
  }
  std::vector<SentDatagram> SentDatagrams() const {
    std::lock_guard<std::mutex> lock(mu_);
    return sent_;
  }

  // While set, an exchange with nothing more to hear, and a pause, wait for
  // real: a job that a test holds before its end. The clock's own hold.
  std::atomic<bool>& hold = clock_.hold;
  // What each exchange says the system dropped.
  std::atomic<uint32_t> dropped{0};

  std::unique_ptr<Exchange> Broadcast(const AdapterEntry& adapter, const uint8_t* request,
                                      size_t length) override {
    if (length < kDiscoveryHeaderSize) return nullptr;
    auto exchange = std::make_unique<FakeExchange>(*this, adapter);
    exchange->Send(request, length);
    return exchange;
  }

 private:
  struct FakeExchange : Exchange {
    FakeExchange(FakeDiscoveryTransport& t, const AdapterEntry& a) : transport(t), adapter(a) {}
    // Queues the answers scripted for this copy of the request.
    bool Send(const uint8_t* request, size_t length) override {
      const int command = request[9] | request[10] << 8;
      std::lock_guard<std::mutex> lock(transport.mu_);
      transport.sent_.push_back(
          {command, std::vector<uint8_t>(request, request + length), transport.Now()});
      for (Datagram d : transport.replies_[command]) {
        if (std::find(d.answers.begin(), d.answers.end(), copies) == d.answers.end()) continue;
        if (!d.every_adapter && std::memcmp(d.adapter.data(), adapter.address, 8) != 0) continue;
        if (d.names_target && d.bytes.size() >= 23) std::memcpy(&d.bytes[17], request + 17, 6);
        uint32_t claimed = 0;
        if (d.bytes.size() >= 17) std::memcpy(&claimed, &d.bytes[13], 4);
        queue.push_back({std::move(d.bytes), d.source.value_or(claimed)});
      }
      ++copies;
      return true;
    }
    long Receive(uint8_t* buffer, size_t size, Clock::time_point deadline,
                 uint32_t* source) override {
      const UWakeup* stop = transport.StopSignal();
      if (stop && !stop->Sleep(0)) return kEnded;
      if (queue.empty()) {
        return transport.clock_.AdvanceTo(deadline, stop) ? kTimedOut : kEnded;
      }
      const std::vector<uint8_t> bytes = std::move(queue.front().first);
      *source = queue.front().second;
      queue.pop_front();
      std::memcpy(buffer, bytes.data(), std::min(size, bytes.size()));
      return static_cast<long>(bytes.size());
    }
    uint32_t Dropped() const override { return transport.dropped.load(); }
    FakeDiscoveryTransport& transport;
    const AdapterEntry adapter;
    int copies = 0;                                               // of the request sent so far
    std::deque<std::pair<std::vector<uint8_t>, uint32_t>> queue;  // bytes, sender
  };

  mutable std::mutex mu_;
  std::map<int, std::vector<Datagram>> replies_;  // guarded by mu_
  std::vector<SentDatagram> sent_;                // guarded by mu_
};
