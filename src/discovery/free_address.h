// The fixed address the wizard proposes for a camera, checked on the network.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "discovery/adapters.h"
#include "discovery/neighbour_probe.h"

class Clock;
class UWakeup;

// How hard the proposal looks for a free address before it gives up.
struct FreeAddressLimits {
  int tries = 16;                               // addresses asked at most
  std::chrono::milliseconds budget{2000};       // for all of them together
  std::chrono::milliseconds wait_per_try{250};  // an answer comes within milliseconds on a LAN
};

// The address ProposeSettings proposes for `adapter`'s network, unless someone
// answers there: then the next one up (last octet only, as that rule counts),
// skipping this computer, the gateway, `taken` (the cameras found by the
// search) and the subnet's own and broadcast addresses. When the tries or the
// budget run out before a free address is found, the next address not yet
// known to be taken is proposed unchecked; the check of the typed address
// still warns about it; so it is once `stop` (may be null) is signalled.
// Addresses in network order; the budget is measured on `clock`.
uint32_t ProposeFreeAddress(const AdapterEntry& adapter, const std::vector<uint32_t>& taken,
                            NeighbourProbe& probe, Clock& clock, const UWakeup* stop = nullptr,
                            const FreeAddressLimits& limits = {});

// Whether `address` lies on `adapter`'s link, where a probe can ask for it.
bool IsOnAdapterSubnet(const AdapterEntry& adapter, uint32_t address);

// "00:1A:2B:00:00:01", as the wizard shows a MAC.
std::string MacText(const MacAddress& mac);
