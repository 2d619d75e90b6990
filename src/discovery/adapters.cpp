#include "discovery/adapters.h"

#include <arpa/inet.h>

#include <cstring>

uint32_t LastOctetPlusOne(uint32_t networkOrder) {
  uint8_t bytes[4];
  std::memcpy(bytes, &networkOrder, 4);
  ++bytes[3];  // wraps 255 to 0 without carrying into the third octet
  std::memcpy(&networkOrder, bytes, 4);
  return networkOrder;
}

std::vector<OwnAddressRange> AdapterSource::OwnAddresses() {
  std::vector<AdapterEntry> all;
  std::vector<OwnAddressRange> own;
  if (!ListAdapters(&all)) return own;
  for (const AdapterEntry& entry : all) {
    in_addr address{};
    if (inet_pton(AF_INET, entry.ipAddress, &address) == 1 && address.s_addr != 0)
      own.push_back({address.s_addr, 0xFFFFFFFFu});
  }
  return own;
}

bool IsOwnAddress(const std::vector<OwnAddressRange>& own, uint32_t address) {
  for (const OwnAddressRange& range : own) {
    if ((address & range.mask) == (range.network & range.mask)) return true;
  }
  return false;
}

std::vector<AdapterEntry> ListUsableAdapters(AdapterSource& source) {
  std::vector<AdapterEntry> all;
  std::vector<AdapterEntry> usable;
  if (!source.ListAdapters(&all)) return usable;
  for (const AdapterEntry& entry : all) {
    const bool kind = entry.type == kAdapterTypeEthernet || entry.type == kAdapterTypeWireless;
    if (kind && std::strcmp(entry.ipAddress, "0.0.0.0") != 0) usable.push_back(entry);
  }
  return usable;
}

const AdapterEntry* FindAdapter(const std::vector<AdapterEntry>& adapters,
                                const uint8_t hardware[8]) {
  for (const AdapterEntry& entry : adapters) {
    if (std::memcmp(entry.address, hardware, 8) == 0) return &entry;
  }
  return nullptr;
}

bool IsContiguousMask(uint32_t mask) {
  const uint32_t inverted = ~ntohl(mask);
  return (inverted & (inverted + 1)) == 0;
}

bool IsSameSubnet(const std::vector<AdapterEntry>& adapters, const CameraRecord& record) {
  const uint32_t cameraMask = RecordSubnetMask(record);
  if (!IsContiguousMask(cameraMask)) return false;
  const uint32_t cameraNet = RecordIpAddress(record) & cameraMask;
  for (const AdapterEntry& entry : adapters) {
    if (std::memcmp(entry.address, record.adapterAddress, 8) != 0) continue;
    const uint32_t mask = ParseDottedAddress(entry.ipMask);
    if (!IsContiguousMask(mask)) continue;
    if ((ParseDottedAddress(entry.ipAddress) & mask) == cameraNet) return true;
  }
  return false;
}

uint32_t ProposedAddress(uint32_t own, uint32_t mask, uint32_t gateway) {
  // At most 256 raises: with every last octet taken the loop still ends.
  uint32_t candidate = LastOctetPlusOne(own & mask);
  for (int i = 0; i < 256 && (candidate == own || candidate == gateway); ++i)
    candidate = LastOctetPlusOne(candidate);
  return candidate;
}

void ProposeSettings(const std::vector<AdapterEntry>& adapters, AdapterSource& source,
                     const CameraRecord& record, const ProposedSettings& out) {
  const AdapterEntry* adapter = FindAdapter(adapters, record.adapterAddress);
  if (!adapter) return;
  const uint32_t own = ParseDottedAddress(adapter->ipAddress);
  const uint32_t mask = ParseDottedAddress(adapter->ipMask);
  const uint32_t gateway = ParseDottedAddress(adapter->gateway);
  *out.mask = mask;
  *out.gateway = gateway;
  *out.address = ProposedAddress(own, mask, gateway);
  const std::vector<uint32_t> dns = source.DnsServers(*adapter);
  if (dns.size() > 0) *out.dns1 = dns[0];
  if (dns.size() > 1) *out.dns2 = dns[1];
}

bool DiffersFromAdapterAddress(const std::vector<AdapterEntry>& adapters,
                               const CameraRecord& record, uint32_t address) {
  const AdapterEntry* adapter = FindAdapter(adapters, record.adapterAddress);
  return adapter && ParseDottedAddress(adapter->ipAddress) != address;
}
