#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "discovery/discovery_wire.h"

inline constexpr uint32_t kAdapterTypeOther = 1;
inline constexpr uint32_t kAdapterTypeEthernet = 6;
inline constexpr uint32_t kAdapterTypeLoopback = 24;
inline constexpr uint32_t kAdapterTypeWireless = 71;

// One local network adapter as the operating system reports it. Only the first
// IPv4 address is kept; an adapter that is down or has no carrier reports
// "0.0.0.0", like an unplugged adapter elsewhere.
struct AdapterEntry {
  char name[16];       // interface name, NUL-terminated
  int index;           // interface index
  uint8_t address[8];  // hardware address: the 6-byte MAC and two zero bytes
  uint32_t type;       // kAdapterType*
  char ipAddress[16];  // dotted text
  char ipMask[16];     // dotted text
  char gateway[16];    // dotted text of the default route through it, "0.0.0.0" if none
};

// Addresses this computer answers on itself: `network` under `mask`, both
// network byte order (one address has the mask 255.255.255.255).
struct OwnAddressRange {
  uint32_t network;
  uint32_t mask;
};

// Where the adapter facts come from: the system, or a fake in tests.
class AdapterSource {
 public:
  virtual ~AdapterSource() = default;
  // Every adapter, in the system's order; false when enumeration failed.
  virtual bool ListAdapters(std::vector<AdapterEntry>* out) = 0;
  // The DNS servers of one adapter, in order, as network-order addresses.
  virtual std::vector<uint32_t> DnsServers(const AdapterEntry& adapter) = 0;
  // Every address of this computer, on any adapter, in any state; a process
  // of its own can send from each. Unless a source knows better: the first
  // address of every adapter ListAdapters gives.
  virtual std::vector<OwnAddressRange> OwnAddresses();
};

// Whether `address` (network order) is in one of `own`: a datagram from
// there may come from a process on this computer.
bool IsOwnAddress(const std::vector<OwnAddressRange>& own, uint32_t address);

// The source that reads this machine's interfaces.
std::unique_ptr<AdapterSource> MakeSystemAdapterSource();

// The adapters discovery uses: Ethernet and wireless ones with an address, in
// source order. Empty when enumeration fails.
std::vector<AdapterEntry> ListUsableAdapters(AdapterSource& source);

// Ones, then zeros: a mask a subnet can have. Network byte order.
bool IsContiguousMask(uint32_t mask);

// The questions about a found camera, answered against `adapters`. A mask
// that is not contiguous, the camera's or the adapter's, is never the same subnet.
bool IsSameSubnet(const std::vector<AdapterEntry>& adapters, const CameraRecord& record);
// Outputs are network-order addresses; those that cannot be found stay untouched.
struct ProposedSettings {
  uint32_t* address;
  uint32_t* mask;
  uint32_t* gateway;
  uint32_t* dns1;
  uint32_t* dns2;
};
void ProposeSettings(const std::vector<AdapterEntry>& adapters, AdapterSource& source,
                     const CameraRecord& record, const ProposedSettings& out);
// The address ProposeSettings proposes on the network of `own` and `mask`:
// the first above the network's own that is neither `own` nor `gateway`.
uint32_t ProposedAddress(uint32_t own, uint32_t mask, uint32_t gateway);
// The next address the proposal tries: the last octet raised, 255 wrapping
// to 0 without carrying into the third octet.
uint32_t LastOctetPlusOne(uint32_t networkOrder);
bool DiffersFromAdapterAddress(const std::vector<AdapterEntry>& adapters,
                               const CameraRecord& record, uint32_t address);
// The first adapter whose 8-byte hardware address equals `hardware`, or null.
const AdapterEntry* FindAdapter(const std::vector<AdapterEntry>& adapters,
                                const uint8_t hardware[8]);
