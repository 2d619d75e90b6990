// Whether a device already holds an address on one of this computer's
// networks: asked before the wizard proposes or accepts a fixed address.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "discovery/adapters.h"

class Clock;
class UWakeup;

using MacAddress = std::array<uint8_t, 6>;

// Asks the network who holds an address. Any one thread at a time; a call
// may take up to its `wait`, or less once `stop` (may be null) is signalled.
class NeighbourProbe {
 public:
  virtual ~NeighbourProbe() = default;
  // The hardware address of the device that answers at `candidate` (network
  // order) on `adapter`'s link, or nullopt when none answered within `wait`
  // (also when the question could not be asked, or the stop ended the wait:
  // nothing is known then).
  virtual std::optional<MacAddress> WhoAnswers(const AdapterEntry& adapter, uint32_t candidate,
                                               std::chrono::milliseconds wait,
                                               const UWakeup* stop) = 0;
};

// The system's probe: one datagram to the candidate's discard port, sent from
// the adapter's address, makes the kernel resolve its link-layer address; the
// kernel's neighbour table, polled on `clock`, then tells whether anyone
// answered. Needs no privilege.
std::unique_ptr<NeighbourProbe> MakeLinuxNeighbourProbe(Clock& clock);
