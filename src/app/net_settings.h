// The network settings the wizard writes to a camera.
#pragma once

#include <cstdint>

// Addresses are IPv4 in network byte order; 0 means not set.
struct NetSettings {
  uint8_t dhcp = 0;  // 1: the camera takes its address by DHCP
  uint32_t ipAddress = 0;
  uint32_t subnetMask = 0;
  uint32_t gateway = 0;
  uint32_t dns1 = 0;
  uint32_t dns2 = 0;
};
