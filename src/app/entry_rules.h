// What the wizard accepts in its forms: the new password, and the fixed
// address settings a person types for a camera (each field's text is read by
// ParseDottedQuad, discovery_wire.h). Pure functions.
#pragma once

#include <cstdint>
#include <string_view>

// 8 to 32 characters, each an ASCII letter or digit: what cameras take.
bool IsPasswordFormatValid(std::string_view password);

// The first setting that makes fixed settings unusable for a camera.
enum class FixedIpProblem {
  kNone,
  kAddress,           // not a unicast host address
  kMask,              // not a usable mask
  kNetworkAddress,    // the address is its subnet's own address
  kBroadcastAddress,  // the address is its subnet's broadcast
  kGateway,           // not a usable gateway, or the subnet's broadcast
  kGatewayIsAddress,  // the gateway is the camera's own address
};
// `address`, `mask` and `gateway` in network byte order, checked in this
// order: a unicast host address (not 0, 127.x, multicast or all-ones), a
// contiguous mask of at least 8 bits and not 32, an address that is neither
// its subnet's own address nor its broadcast, a usable gateway that is not
// the subnet's broadcast, and a gateway other than the address.
FixedIpProblem CheckFixedIp(uint32_t address, uint32_t mask, uint32_t gateway);
// Whether `gateway` lies outside the subnet of `address` under `mask`.
bool IsGatewayElsewhere(uint32_t address, uint32_t mask, uint32_t gateway);
