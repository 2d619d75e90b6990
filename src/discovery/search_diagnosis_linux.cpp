// Why a search on Linux may come back empty. The kernel drops a camera's
// answer before any socket sees it (reverse-path filtering, a firewall), so
// the search itself cannot tell; these checks look where each cause leaves a
// trace that any user may read.
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "discovery/discovery_wire.h"
#include "discovery/search_diagnosis.h"
#include "discovery/text_file.h"

namespace {

std::string_view Trim(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

// The whole word as a number; false for anything else, such as a table's heading.
bool Number(std::string_view word, int base, uint32_t* out) {
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), *out, base);
  return error == std::errc() && end == word.data() + word.size() && !word.empty();
}

template <size_t N>
std::string Text(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// "eth0 192.168.1.10/24", marked when wireless.
std::string Describe(const AdapterEntry& adapter) {
  const int prefix = std::popcount(ParseDottedAddress(Text(adapter.ipMask).c_str()));
  std::string text =
      Text(adapter.name) + " " + Text(adapter.ipAddress) + "/" + std::to_string(prefix);
  if (adapter.type == kAdapterTypeWireless) text += " (wireless)";
  return text;
}

const AdapterEntry* FindNamed(const std::vector<AdapterEntry>& adapters, const std::string& name) {
  for (const AdapterEntry& adapter : adapters)
    if (Text(adapter.name) == name) return &adapter;
  return nullptr;
}

void CheckAdapters(const std::vector<AdapterEntry>& searched, std::vector<SearchFinding>* out) {
  if (searched.empty()) {
    out->push_back(
        {"No network adapter is connected with an IPv4 address, so nothing was searched.",
         "Connect this computer to the camera's network, by cable if you can, and "
         "search again."});
    return;
  }
  std::string list;
  bool cabled = false;
  for (const AdapterEntry& adapter : searched) {
    list += (list.empty() ? "" : ", ") + Describe(adapter);
    cabled = cabled || adapter.type != kAdapterTypeWireless;
  }
  out->push_back({"Searched through " + list + ".", ""});
  if (!cabled)
    out->push_back({"Only wireless adapters were searched, and cameras are usually cabled.",
                    "Connect this computer by cable to the camera's router or switch, and search "
                    "again."});
}

// Network cards the search skipped, though the camera may hang on one of them.
// Bridges and virtual pairs are left out: a container bridge without members
// has no carrier either, and says nothing about cables.
void CheckLinks(const std::vector<AdapterEntry>& all, const std::vector<AdapterEntry>& searched,
                const std::vector<LinkState>& links, std::vector<SearchFinding>* out) {
  for (const LinkState& link : links) {
    if (!link.hardware || !link.up || FindNamed(searched, link.name)) continue;
    const AdapterEntry* adapter = FindNamed(all, link.name);
    if (!adapter || adapter->type != kAdapterTypeEthernet) continue;
    if (!link.running)
      out->push_back({link.name + " has no link.",
                      "Check its cable, and that the switch or camera at the other end has "
                      "power."});
    else if (!link.hasIpv4)
      out->push_back({link.name + " is connected but has no IPv4 address.",
                      "Give it an address (a fixed one, or from the network's DHCP server), and "
                      "search again."});
  }
}

// The interface of the default route the kernel prefers (lowest metric, the
// first of equals), or empty when there is none.
std::string PreferredDefaultRoute(std::string_view routeTable) {
  std::string best;
  uint32_t bestMetric = 0;
  ForEachLine(routeTable, [&](std::string_view line) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    const std::vector<std::string_view> w = SplitWords(line);
    uint32_t destination = 0, flags = 0, metric = 0, mask = 0;
    if (w.size() < 8 || !Number(w[1], 16, &destination) || !Number(w[3], 16, &flags) ||
        !Number(w[6], 10, &metric) || !Number(w[7], 16, &mask))
      return;
    constexpr uint32_t kUp = 0x1, kReject = 0x200;
    if (destination != 0 || mask != 0 || (flags & (kUp | kReject)) != kUp) return;
    if (!best.empty() && metric >= bestMetric) return;
    best = std::string(w[0]);
    bestMetric = metric;
  });
  return best;
}

// One rp_filter value (0 off, 1 strict, 2 loose); -1 when it cannot be read.
int ReadRpFilter(const SearchDiagnosisPaths& paths, const std::string& entry) {
  uint32_t value = 0;
  const std::string text = ReadTextFile(paths.ipv4Conf + "/" + entry + "/rp_filter");
  return Number(Trim(text), 10, &value) ? static_cast<int>(value) : -1;
}

// sysctl separates the parts of a key with dots, so a dot within an
// interface name (a VLAN such as eth0.100) is written as a slash.
std::string RpFilterSetting(std::string entry, int value) {
  std::replace(entry.begin(), entry.end(), '.', '/');
  return " net.ipv4.conf." + entry + ".rp_filter=" + std::to_string(value);
}

// An answer from a camera on another subnet passes the filter only when the
// route back to its source leaves through the adapter it came in on (strict)
// or through any adapter (loose). The kernel applies the higher of the
// adapter's and "all"'s value. False when the answers pass.
bool ReversePathFinding(const std::string& name, int all, int own, const std::string& preferred,
                        SearchFinding* out) {
  const int mode = std::max(all, own);
  std::string settings;
  if (preferred.empty() && mode > 0) {
    out->found = "Reverse-path filtering is on for " + name +
                 " and there is no default route: answers from cameras on another subnet are "
                 "dropped.";
    if (all > 0) settings += RpFilterSetting("all", 0);
    if (own > 0) settings += RpFilterSetting(name, 0);
  } else if (!preferred.empty() && mode == 1 && name != preferred) {
    out->found = "Reverse-path filtering is strict on " + name +
                 ", which does not carry the default route: answers from cameras on another "
                 "subnet are dropped there.";
    settings = RpFilterSetting(name, 2);  // loose then, whatever "all" holds
  } else {
    return false;
  }
  out->todo = "To let them in, run: sudo sysctl -w" + settings;
  return true;
}

void CheckReversePath(const std::vector<AdapterEntry>& searched, const SearchDiagnosisPaths& paths,
                      std::vector<SearchFinding>* out) {
  const std::string preferred = PreferredDefaultRoute(ReadTextFile(paths.routeTable));
  const int all = ReadRpFilter(paths, "all");
  for (const AdapterEntry& adapter : searched) {
    const std::string name = Text(adapter.name);
    const int own = ReadRpFilter(paths, name);
    SearchFinding finding;
    if (own >= 0 && ReversePathFinding(name, all, own, preferred, &finding))
      out->push_back(finding);
  }
}

// ufw keeps "ENABLED=yes" in a file that anyone may read.
bool UfwEnabled(std::string_view conf) {
  bool enabled = false;
  ForEachLine(conf, [&](std::string_view line) {
    line = Trim(line);
    if (line.substr(0, 8) != "ENABLED=") return;
    std::string value(Trim(line.substr(8)));
    std::erase_if(value, [](char c) { return c == '"' || c == '\''; });
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    enabled = value == "yes";
  });
  return enabled;
}

// firewalld runs without a pid file under systemd, and its state is asked
// for over D-Bus; its process, though, is visible to anyone.
bool ProcessRunning(const std::string& processes, std::string_view name) {
  namespace fs = std::filesystem;
  std::error_code error;  // processes come and go while the list is read
  for (fs::directory_iterator it(processes, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    const std::string pid = it->path().filename().string();
    if (pid.empty() || pid[0] < '1' || pid[0] > '9') continue;
    if (Trim(ReadTextFile(it->path().string() + "/comm")) == name) return true;
  }
  return false;
}

// The answers come from the cameras' port to the search's own port; a rule
// for the source port lets them in without opening a port on this computer.
void CheckFirewall(const SearchDiagnosisPaths& paths, std::vector<SearchFinding>* out) {
  const std::string port = std::to_string(kDiscoveryPort);
  const std::string dropped = " may drop the cameras' answers, which come from UDP port " + port;
  if (UfwEnabled(ReadTextFile(paths.ufwConf)))
    out->push_back({"The firewall ufw is on:" + dropped + ".",
                    "To let them in, run: sudo ufw allow proto udp from any port " + port});
  if (ProcessRunning(paths.processes, "firewalld"))
    out->push_back({"The firewall firewalld is running:" + dropped + ".",
                    "To let them in, run: sudo firewall-cmd --add-source-port=" + port + "/udp"});
}

// The number of sockets bound to `port` in a /proc/net/udp or udp6 table.
int HoldersOfPort(std::string_view table, uint32_t port) {
  int holders = 0;
  ForEachLine(table, [&](std::string_view line) {
    // sl local_address rem_address st ...; the address ends in ":PORT" in hex.
    const std::vector<std::string_view> w = SplitWords(line);
    const size_t colon = w.size() > 1 ? w[1].rfind(':') : std::string_view::npos;
    uint32_t local = 0;
    if (colon != std::string_view::npos && Number(w[1].substr(colon + 1), 16, &local))
      holders += local == port ? 1 : 0;
  });
  return holders;
}

void CheckPortInUse(const SearchDiagnosisPaths& paths, std::vector<SearchFinding>* out) {
  if (HoldersOfPort(ReadTextFile(paths.udpTable), kDiscoveryPort) +
          HoldersOfPort(ReadTextFile(paths.udp6Table), kDiscoveryPort) >
      0)
    out->push_back({"Another program on this computer holds UDP port " +
                        std::to_string(kDiscoveryPort) +
                        ", the cameras' port; another camera tool may be running.",
                    "Close other camera tools, and search again."});
}

// A network card names the bus it sits on; bridges, virtual pairs and tunnels
// name none, "N/A", or "tun"/"tap".
bool IsHardware(int probe, const char* name) {
  ethtool_drvinfo info{};
  info.cmd = ETHTOOL_GDRVINFO;
  ifreq request{};
  std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
  request.ifr_data = reinterpret_cast<char*>(&info);
  if (ioctl(probe, SIOCETHTOOL, &request) != 0) return false;
  const std::string_view bus(info.bus_info, strnlen(info.bus_info, sizeof info.bus_info));
  return !bus.empty() && bus != "N/A" && bus != "tun" && bus != "tap";
}

bool HasIpv4(const ifaddrs* all, const std::string& name) {
  for (const ifaddrs* it = all; it; it = it->ifa_next)
    if (it->ifa_addr && it->ifa_addr->sa_family == AF_INET && name == it->ifa_name) return true;
  return false;
}

}  // namespace

std::vector<LinkState> ReadLinkStates() {
  std::vector<LinkState> links;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return links;
  // The query goes to the calling thread's namespace, like getifaddrs.
  const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  for (const ifaddrs* it = all; it; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_PACKET) continue;
    LinkState link;
    link.name = it->ifa_name;
    link.up = it->ifa_flags & IFF_UP;
    link.running = it->ifa_flags & IFF_RUNNING;
    link.hasIpv4 = HasIpv4(all, link.name);
    link.hardware =
        !(it->ifa_flags & IFF_LOOPBACK) && probe >= 0 && IsHardware(probe, it->ifa_name);
    links.push_back(link);
  }
  if (probe >= 0) close(probe);
  freeifaddrs(all);
  return links;
}

std::vector<SearchFinding> DiagnoseSearch(AdapterSource& adapters,
                                          const SearchDiagnosisPaths& paths,
                                          const std::vector<LinkState>& links) {
  std::vector<AdapterEntry> all;
  if (!adapters.ListAdapters(&all)) all.clear();
  const std::vector<AdapterEntry> searched = ListUsableAdapters(adapters);
  std::vector<SearchFinding> findings;
  CheckAdapters(searched, &findings);
  CheckLinks(all, searched, links, &findings);
  CheckReversePath(searched, paths, &findings);
  CheckFirewall(paths, &findings);
  CheckPortInUse(paths, &findings);
  if (!searched.empty() && findings.size() == 1)  // the list of searched adapters alone
    findings.push_back({"Nothing on this computer seems to block the search.",
                        "Check that the camera has power and is cabled to the same network, and "
                        "search again."});
  return findings;
}

std::vector<SearchFinding> DiagnoseSearch(AdapterSource& adapters,
                                          const SearchDiagnosisPaths& paths) {
  return DiagnoseSearch(adapters, paths, ReadLinkStates());
}
