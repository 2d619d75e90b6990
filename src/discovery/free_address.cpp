#include "discovery/free_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>

#include "thread/clock.h"
#include "thread/wakeup.h"

namespace {

using std::chrono::milliseconds;

// The addresses a walk may not propose, whatever answers there.
struct Excluded {
  uint32_t own;
  uint32_t mask;
  uint32_t gateway;
  const std::vector<uint32_t>& taken;

  bool operator()(uint32_t candidate) const {
    if (candidate == own || candidate == gateway) return true;
    if ((candidate & mask) != (own & mask)) return true;
    const uint32_t host = ntohl(candidate & ~mask);
    if (host == 0 || host == ntohl(~mask)) return true;
    return std::find(taken.begin(), taken.end(), candidate) != taken.end();
  }
};

}  // namespace

bool IsOnAdapterSubnet(const AdapterEntry& adapter, uint32_t address) {
  const uint32_t mask = ParseDottedAddress(adapter.ipMask);
  return IsContiguousMask(mask) &&
         (address & mask) == (ParseDottedAddress(adapter.ipAddress) & mask);
}

uint32_t ProposeFreeAddress(const AdapterEntry& adapter, const std::vector<uint32_t>& taken,
                            NeighbourProbe& probe, Clock& clock, const UWakeup* stop,
                            const FreeAddressLimits& limits) {
  const Excluded excluded{ParseDottedAddress(adapter.ipAddress), ParseDottedAddress(adapter.ipMask),
                          ParseDottedAddress(adapter.gateway), taken};
  const Clock::TimePoint end = clock.Now() + limits.budget;
  uint32_t candidate = excluded.own & excluded.mask;
  int asked = 0;
  // 256 raises visit every last octet once.
  for (int step = 0; step < 256; ++step) {
    candidate = LastOctetPlusOne(candidate);
    if (excluded(candidate)) continue;
    const milliseconds left = std::chrono::duration_cast<milliseconds>(end - clock.Now());
    const bool stopped = stop && !stop->Sleep(0);
    if (asked == limits.tries || left <= milliseconds(0) || stopped) return candidate;  // unchecked
    ++asked;
    if (!probe.WhoAnswers(adapter, candidate, std::min(limits.wait_per_try, left), stop))
      return candidate;
  }
  // Nothing on this network may be proposed: the rule that never asks.
  return ProposedAddress(excluded.own, excluded.mask, excluded.gateway);
}

std::string MacText(const MacAddress& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}
