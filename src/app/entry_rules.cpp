#include "app/entry_rules.h"

#include <arpa/inet.h>

#include <algorithm>

#include "discovery/adapters.h"

namespace {

constexpr size_t kMinPasswordLength = 8;
constexpr size_t kMaxPasswordLength = 32;

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// In host byte order.
bool UsableHostAddress(uint32_t address) {
  const uint32_t first = address >> 24;
  return address != 0xFFFFFFFFu && address != 0 && first >= 1 && first <= 223 && first != 127;
}

}  // namespace

bool IsPasswordFormatValid(std::string_view password) {
  return password.size() >= kMinPasswordLength && password.size() <= kMaxPasswordLength &&
         std::all_of(password.begin(), password.end(), IsAsciiLetterOrDigit);
}

FixedIpProblem CheckFixedIp(uint32_t address_n, uint32_t mask_n, uint32_t gateway_n) {
  const uint32_t address = ntohl(address_n), mask = ntohl(mask_n), gateway = ntohl(gateway_n);
  if (!UsableHostAddress(address)) return FixedIpProblem::kAddress;
  if (mask == 0xFFFFFFFFu || (mask >> 24) == 0 || !IsContiguousMask(mask_n))
    return FixedIpProblem::kMask;
  const uint32_t host = address & ~mask;
  if (host == 0) return FixedIpProblem::kNetworkAddress;
  if (host == ~mask) return FixedIpProblem::kBroadcastAddress;
  if (!UsableHostAddress(gateway) || (gateway & ~mask) == ~mask) return FixedIpProblem::kGateway;
  if (gateway == address) return FixedIpProblem::kGatewayIsAddress;
  return FixedIpProblem::kNone;
}

bool IsGatewayElsewhere(uint32_t address, uint32_t mask, uint32_t gateway) {
  return ((address ^ gateway) & mask) != 0;
}
