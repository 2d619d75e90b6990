#include "discovery/adapters_linux.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "discovery/text_file.h"

namespace {

bool PathExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// Only a dotted-quad prefix counts: "1.2.3.4#name" and "1.2.3.4:53" give the
// address; IPv6 servers give nothing.
bool ParseIpv4Prefix(std::string_view token, uint32_t* out) {
  size_t n = 0;
  while (n < token.size() && n < 15 && (token[n] == '.' || (token[n] >= '0' && token[n] <= '9')))
    ++n;
  if (n < token.size() && token[n] != '#' && token[n] != ':' && token[n] != '%') return false;
  char text[16] = {};
  std::memcpy(text, token.data(), n);
  in_addr value{};
  if (inet_pton(AF_INET, text, &value) != 1) return false;
  *out = value.s_addr;
  return true;
}

uint32_t HexWord(std::string_view word, bool* ok) {
  uint32_t value = 0;
  if (word.empty() || word.size() > 8) *ok = false;
  for (char c : word) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0) *ok = false;
    value = value << 4 | static_cast<uint32_t>(digit & 15);
  }
  return value;
}

class LinuxAdapterSource : public AdapterSource {
 public:
  explicit LinuxAdapterSource(LinuxAdapterPaths paths) : paths_(std::move(paths)) {}

  bool ListAdapters(std::vector<AdapterEntry>* out) override;
  std::vector<OwnAddressRange> OwnAddresses() override;
  std::vector<uint32_t> DnsServers(const AdapterEntry& adapter) override {
    return ReadDnsServers(paths_, adapter.index);
  }

 private:
  AdapterEntry FromLink(const ifaddrs& link) const;
  uint32_t TypeOf(const char* name, unsigned short hardwareType) const;

  LinuxAdapterPaths paths_;
};

uint32_t LinuxAdapterSource::TypeOf(const char* name, unsigned short hardwareType) const {
  if (hardwareType == ARPHRD_LOOPBACK) return kAdapterTypeLoopback;
  if (hardwareType != ARPHRD_ETHER) return kAdapterTypeOther;
  const std::string base = paths_.sysClassNet + "/" + name;
  if (PathExists(base + "/wireless") || PathExists(base + "/phy80211")) return kAdapterTypeWireless;
  return kAdapterTypeEthernet;
}

AdapterEntry LinuxAdapterSource::FromLink(const ifaddrs& link) const {
  AdapterEntry entry{};
  std::strncpy(entry.name, link.ifa_name, sizeof entry.name - 1);
  const auto* ll = reinterpret_cast<const sockaddr_ll*>(link.ifa_addr);
  entry.index = ll->sll_ifindex;
  std::memcpy(entry.address, ll->sll_addr, ll->sll_halen < 8 ? ll->sll_halen : 8);
  entry.type = TypeOf(link.ifa_name, ll->sll_hatype);
  std::strcpy(entry.ipAddress, "0.0.0.0");
  std::strcpy(entry.ipMask, "0.0.0.0");
  std::strcpy(entry.gateway, "0.0.0.0");
  return entry;
}

bool LinuxAdapterSource::ListAdapters(std::vector<AdapterEntry>* out) {
  out->clear();
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return false;
  for (ifaddrs* it = all; it; it = it->ifa_next) {
    if (it->ifa_addr && it->ifa_addr->sa_family == AF_PACKET) out->push_back(FromLink(*it));
  }
  const std::string routes = ReadTextFile(paths_.routeTable);
  for (AdapterEntry& entry : *out) {
    // The first IPv4 address in the kernel's list is the interface's primary one.
    for (ifaddrs* it = all; it; it = it->ifa_next) {
      if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
      if (std::strcmp(it->ifa_name, entry.name) != 0) continue;
      // A cable that is out keeps its address here: only a running link counts.
      const bool running = (it->ifa_flags & IFF_UP) && (it->ifa_flags & IFF_RUNNING);
      if (running && it->ifa_netmask) {
        FormatDottedAddress(reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr,
                            entry.ipAddress);
        FormatDottedAddress(reinterpret_cast<sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr,
                            entry.ipMask);
      }
      break;
    }
    uint32_t gateway = 0;
    if (ParseDefaultGateway(routes, entry.name, &gateway))
      FormatDottedAddress(gateway, entry.gateway);
  }
  freeifaddrs(all);
  return true;
}

// Every address of every interface, up or down, and the whole loopback
// network: the system answers on all of 127.0.0.0/8 by itself.
std::vector<OwnAddressRange> LinuxAdapterSource::OwnAddresses() {
  std::vector<OwnAddressRange> own = {{htonl(0x7F000000u), htonl(0xFF000000u)}};
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return own;
  for (ifaddrs* it = all; it; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
    const uint32_t address = reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr;
    uint32_t mask = 0xFFFFFFFFu;
    if ((it->ifa_flags & IFF_LOOPBACK) && it->ifa_netmask)
      mask = reinterpret_cast<sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr;
    own.push_back({address, mask});
  }
  freeifaddrs(all);
  return own;
}

}  // namespace

bool ParseDefaultGateway(std::string_view routeTable, std::string_view interfaceName,
                         uint32_t* gateway) {
  bool found = false;
  uint32_t bestMetric = 0;
  ForEachLine(routeTable, [&](std::string_view line) {
    const std::vector<std::string_view> w = SplitWords(line);
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    if (w.size() < 8 || w[0] != interfaceName) return;
    bool ok = true;
    const uint32_t destination = HexWord(w[1], &ok);
    const uint32_t via = HexWord(w[2], &ok);
    const uint32_t flags = HexWord(w[3], &ok);
    const uint32_t mask = HexWord(w[7], &ok);
    uint32_t metric = 0;
    for (char c : w[6]) metric = metric * 10 + static_cast<uint32_t>(c - '0');
    constexpr uint32_t kUp = 0x1, kGateway = 0x2;
    if (!ok || destination != 0 || mask != 0 || (flags & (kUp | kGateway)) != (kUp | kGateway))
      return;
    if (found && metric >= bestMetric) return;
    // The table prints the network-order value as a host-order number.
    *gateway = via;
    bestMetric = metric;
    found = true;
  });
  return found;
}

std::vector<uint32_t> ParseResolvConf(std::string_view text) {
  std::vector<uint32_t> servers;
  ForEachLine(text, [&](std::string_view line) {
    const std::vector<std::string_view> w = SplitWords(line);
    uint32_t address = 0;
    if (w.size() >= 2 && w[0] == "nameserver" && ParseIpv4Prefix(w[1], &address) &&
        w[1].find_first_of("#:%") == std::string_view::npos)
      servers.push_back(address);
  });
  return servers;
}

std::vector<uint32_t> ParseResolvedLinkDns(std::string_view text) {
  std::vector<uint32_t> servers;
  ForEachLine(text, [&](std::string_view line) {
    if (line.substr(0, 4) != "DNS=") return;
    for (std::string_view word : SplitWords(line.substr(4))) {
      uint32_t address = 0;
      if (ParseIpv4Prefix(word, &address)) servers.push_back(address);
    }
  });
  return servers;
}

std::vector<uint32_t> ReadDnsServers(const LinuxAdapterPaths& paths, int interfaceIndex) {
  std::vector<uint32_t> servers = ParseResolvedLinkDns(
      ReadTextFile(paths.resolvedLinks + "/" + std::to_string(interfaceIndex)));
  if (!servers.empty()) return servers;
  servers = ParseResolvConf(ReadTextFile(paths.resolvConf));
  in_addr stub{};
  inet_pton(AF_INET, "127.0.0.53", &stub);
  if (servers.size() == 1 && servers[0] == stub.s_addr)
    servers = ParseResolvConf(ReadTextFile(paths.resolvedResolvConf));
  return servers;
}

std::unique_ptr<AdapterSource> MakeLinuxAdapterSource(const LinuxAdapterPaths& paths) {
  return std::make_unique<LinuxAdapterSource>(paths);
}

std::unique_ptr<AdapterSource> MakeSystemAdapterSource() {
  LinuxAdapterPaths paths;
  if (!PathExists(paths.routeTable)) paths.routeTable = "/proc/net/route";
  return std::make_unique<LinuxAdapterSource>(paths);
}
