#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/adapters.h"

// Where the Linux adapter source reads its facts; tests point these at files
// of their own.
struct LinuxAdapterPaths {
  std::string sysClassNet = "/sys/class/net";
  // Per thread, so that a thread moved into another network namespace reads
  // that namespace's routes.
  std::string routeTable = "/proc/thread-self/net/route";
  std::string resolvedLinks = "/run/systemd/resolve/netif";
  std::string resolvConf = "/etc/resolv.conf";
  std::string resolvedResolvConf = "/run/systemd/resolve/resolv.conf";
};

std::unique_ptr<AdapterSource> MakeLinuxAdapterSource(const LinuxAdapterPaths& paths);

// The gateway of the default route through `interfaceName` with the lowest
// metric, from the text of /proc/net/route. False when there is none.
bool ParseDefaultGateway(std::string_view routeTable, std::string_view interfaceName,
                         uint32_t* gateway);
// The IPv4 "nameserver" lines of a resolv.conf, in order.
std::vector<uint32_t> ParseResolvConf(std::string_view text);
// The IPv4 servers of the "DNS=" line of a systemd-resolved link state file.
std::vector<uint32_t> ParseResolvedLinkDns(std::string_view text);
// DNS servers of the link with `interfaceIndex`: its systemd-resolved servers
// when it has any, else resolv.conf, or the resolved copy of it when
// resolv.conf names only the local stub 127.0.0.53.
std::vector<uint32_t> ReadDnsServers(const LinuxAdapterPaths& paths, int interfaceIndex);
