#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_camera.h"

namespace camsim {

enum class ReplyMode { kBroadcast, kUnicast };

enum class DiscoveryFault {
  kNone,
  kIgnoreSetAddress,  // never answer command 2 (and never move)
  kWrongLength,       // every reply one byte too long
  kTwice,             // every reply sent twice
  kFlood,             // after answering a search, 100,000 datagrams of junk to the searcher
                      // (once per search: its repeated copies get the answer only)
  kImpostor,          // replies leave from the interface's own address, whatever they claim
  kAnyTarget,         // answers every command, whatever camera it names, as done
  kAfterSettings,     // quiet until it hears a set-address request; then answers
                      // searches (never a command), as a device posing as the camera
};

struct DiscoveryConfig {
  // Interface the responder is tied to: requests are heard and replies leave
  // there even when no route covers the requester's address.
  std::string interface_name;
  ReplyMode reply_mode = ReplyMode::kBroadcast;
  int set_delay_ms = 5000;         // pause between accepting new settings and taking them
  int search_delay_ms = 0;         // pause before answering a search
  SimCamera::Settings dhcp_lease;  // what "DHCP" hands out
  DiscoveryFault fault = DiscoveryFault::kNone;
};

// Applies a camera's new settings to the system (its interface's address);
// called on the responder's thread after the set-address delay.
using AddressApplier = std::function<void(const SimCamera&, const SimCamera::Settings&)>;

// The camera's discovery side: answers searches on UDP port 62720 for every
// camera it holds, and the set-address command for the camera its MAC names.
// Each camera's replies leave from its own address, as a real camera's do,
// even when the interface does not hold that address (many cameras in one
// simulator).
// Threads: Start and Stop on the owner's thread; requests are handled on the
// responder's own thread. The cameras are borrowed and must outlive Stop.
class DiscoveryResponder {
 public:
  DiscoveryResponder(DiscoveryConfig config, std::vector<SimCamera*> cameras,
                     AddressApplier applier);
  ~DiscoveryResponder();
  DiscoveryResponder(const DiscoveryResponder&) = delete;
  DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

  // Opens the socket and starts answering; false with `err` on failure.
  bool Start(std::string* err);
  void Stop();

 private:
  struct PendingMove {
    SimCamera* camera;
    SimCamera::Settings settings;
    std::chrono::steady_clock::time_point due;
  };

  void Loop();
  // The reply to one request for one camera, or empty when that camera does
  // not answer it; `settings` receives accepted new settings.
  std::vector<uint8_t> Answer(const SimCamera& camera, const uint8_t* request, size_t length,
                              bool* accepted, SimCamera::Settings* settings) const;
  void Handle(const uint8_t* request, size_t length, const void* from);
  // Whether the faults that hold answers back let this request be answered;
  // waits the search delay.
  bool Answers(const uint8_t* request, size_t length);
  // Sends `reply` from the address it claims, or from the interface's own
  // for an impostor.
  void Send(const std::vector<uint8_t>& reply, const void* from);
  // Random bytes and replies spoiled in one way each (length, magic,
  // direction, command), none of which a searcher may take for a camera.
  // Whether a search from `from` is not a repeated copy of the last one flooded.
  bool FirstCopyOfSearch(const void* from);
  void Flood(const std::vector<uint8_t>& reply, const void* from);
  void ApplyDueMoves();

  const DiscoveryConfig config_;
  const std::vector<SimCamera*> cameras_;
  const AddressApplier applier_;
  int fd_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::vector<PendingMove> pending_;  // responder thread only
  // The searcher flooded last and when (responder thread only): the copies
  // of one search come from one socket within its window.
  uint64_t flooded_searcher_ = 0;
  std::chrono::steady_clock::time_point flooded_at_{};
  bool heard_settings_ = false;  // responder thread only: a set-address request came
};

// An applier that gives `interfaceName` the new address and mask (and the
// gateway as default route) with the ip tool; it does nothing outside a
// named network namespace.
AddressApplier MakeInterfaceApplier(const std::string& interfaceName);

// The first IPv4 address and mask of an interface, in network byte order.
bool ReadInterfaceAddress(const std::string& name, uint32_t* address, uint32_t* mask);
// True only inside a network namespace made by "ip netns add" (listed in
// /run/netns): the discovery side never broadcasts from the machine's own.
bool InNamedNetworkNamespace();

}  // namespace camsim
