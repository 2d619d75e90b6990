#pragma once

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/adapters.h"

// An adapter list held in memory, for tests of the subnet rules and the
// finder. Thread-safe: the finder reads it on its own thread.
class FakeAdapterSource : public AdapterSource {
 public:
  static AdapterEntry Entry(const char* name, uint8_t lastMacByte, uint32_t type, const char* ip,
                            const char* mask, const char* gateway = "0.0.0.0") {
    AdapterEntry e{};
    std::snprintf(e.name, sizeof e.name, "%s", name);
    const uint8_t mac[8] = {0x02, 0, 0, 0, 0, lastMacByte, 0, 0};
    std::memcpy(e.address, mac, 8);
    e.type = type;
    std::snprintf(e.ipAddress, sizeof e.ipAddress, "%s", ip);
    std::snprintf(e.ipMask, sizeof e.ipMask, "%s", mask);
    std::snprintf(e.gateway, sizeof e.gateway, "%s", gateway);
    return e;
  }

  void Set(std::vector<AdapterEntry> adapters, std::vector<uint32_t> dns = {}) {
    std::lock_guard<std::mutex> lock(mu_);
    adapters_ = std::move(adapters);
    dns_ = std::move(dns);
  }
  // Addresses of this computer besides the adapters' first ones (a second
  // address, the loopback network).
  void SetOtherOwnAddresses(std::vector<OwnAddressRange> own) {
    std::lock_guard<std::mutex> lock(mu_);
    other_own_ = std::move(own);
  }
  void Fail(bool fail) {
    std::lock_guard<std::mutex> lock(mu_);
    fail_ = fail;
  }
  int Lists() const {
    std::lock_guard<std::mutex> lock(mu_);
    return lists_;
  }

  bool ListAdapters(std::vector<AdapterEntry>* out) override {
    std::lock_guard<std::mutex> lock(mu_);
    ++lists_;
    if (fail_) return false;
    *out = adapters_;
    return true;
  }
  std::vector<uint32_t> DnsServers(const AdapterEntry&) override {
    std::lock_guard<std::mutex> lock(mu_);
    return dns_;
  }
  std::vector<OwnAddressRange> OwnAddresses() override {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<OwnAddressRange> own = other_own_;
    for (const AdapterEntry& entry : adapters_)
      own.push_back({inet_addr(entry.ipAddress), 0xFFFFFFFFu});
    return own;
  }

 private:
  mutable std::mutex mu_;
  std::vector<AdapterEntry> adapters_;      // guarded by mu_
  std::vector<uint32_t> dns_;               // guarded by mu_
  std::vector<OwnAddressRange> other_own_;  // guarded by mu_
  bool fail_ = false;                       // guarded by mu_
  int lists_ = 0;                           // guarded by mu_
};
