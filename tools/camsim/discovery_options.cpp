#include "discovery_options.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "discovery/discovery_wire.h"

namespace camsim {

const char kDiscoveryUsage[] =
    "\n"
    "Discovery side (answers on UDP port 62720; started by --iface or --address,\n"
    "only inside a network namespace made by 'ip netns add'):\n"
    "  --iface NAME         interface to answer on; the camera's address is taken\n"
    "                       from it, and a new address is set on it (one camera only)\n"
    "  --address A/PREFIX   address of the first camera (the others count up)\n"
    "  --gateway A          the cameras' gateway\n"
    "  --reply MODE         broadcast (default: to 255.255.255.255) or unicast\n"
    "  --set-delay-ms N     pause before taking new settings (default 5000)\n"
    "  --search-delay-ms N  answer searches N ms late (default 0)\n"
    "  --dhcp-lease A/PREFIX  address taken when told to use DHCP\n"
    "  --dhcp-gateway A     gateway of that lease\n"
    "  --discovery-fault KIND  none, no-set-address, wrong-length, twice, flood,\n"
    "                          impostor, any-target or after-settings\n"
    "                          (flood: 100,000 junk datagrams after the reply to a\n"
    "                          search, not to its repeated copies;\n"
    "                          impostor: replies claim --address and --mac but leave\n"
    "                          from the interface's own address;\n"
    "                          any-target: answers every command, whatever camera it\n"
    "                          names, as done, with its own MAC;\n"
    "                          after-settings: silent until it hears a set-address\n"
    "                          request for any camera, then answers searches only:\n"
    "                          with --mac, a device posing as a camera that moved)\n"
    "A camera that claims another's MAC from its own address is a plain --mac.\n"
    "Many valid cameras at once: --count N with --address (each answers from its\n"
    "own address, which needs root).\n";

namespace {

bool ParseAddress(const char* text, uint32_t* out) {
  const std::optional<uint32_t> value = ParseDottedQuad(text);
  if (value) *out = *value;
  return value.has_value();
}

// A prefix length is 1 to 32 in plain decimal digits.
bool ParsePrefixLength(std::string_view text, int* out) {
  if (text.empty() || text.size() > 2 || text[0] == '0') return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *out = value;
  return value <= 32;
}

bool ParsePrefixed(const char* text, uint32_t* address, uint32_t* mask) {
  const char* slash = std::strchr(text, '/');
  int prefix = 0;
  if (!slash || !ParsePrefixLength(slash + 1, &prefix)) return false;
  const std::optional<uint32_t> value = ParseDottedQuad(std::string_view(text, slash - text));
  if (!value) return false;
  *address = *value;
  *mask = htonl(prefix == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix));
  return true;
}

bool ParseFault(const std::string& text, DiscoveryFault* fault) {
  if (text == "none")
    *fault = DiscoveryFault::kNone;
  else if (text == "no-set-address")
    *fault = DiscoveryFault::kIgnoreSetAddress;
  else if (text == "wrong-length")
    *fault = DiscoveryFault::kWrongLength;
  else if (text == "twice")
    *fault = DiscoveryFault::kTwice;
  else if (text == "flood")
    *fault = DiscoveryFault::kFlood;
  else if (text == "impostor")
    *fault = DiscoveryFault::kImpostor;
  else if (text == "any-target")
    *fault = DiscoveryFault::kAnyTarget;
  else if (text == "after-settings")
    *fault = DiscoveryFault::kAfterSettings;
  else
    return false;
  return true;
}

}  // namespace

bool IsDiscoveryOption(const std::string& option) {
  static const char* const kOptions[] = {
      "--iface",      "--address",      "--gateway",         "--reply",          "--set-delay-ms",
      "--dhcp-lease", "--dhcp-gateway", "--discovery-fault", "--search-delay-ms"};
  for (const char* known : kOptions)
    if (option == known) return true;
  return false;
}

bool ApplyDiscoveryOption(const std::string& option, const char* value, DiscoveryOptions* o) {
  DiscoveryConfig& c = o->config;
  if (option == "--iface") {
    c.interface_name = value;
    return !c.interface_name.empty() && c.interface_name.size() < 16;
  }
  if (option == "--address") return ParsePrefixed(value, &o->address, &o->mask);
  if (option == "--gateway") return ParseAddress(value, &o->gateway);
  if (option == "--reply") {
    c.reply_mode = std::strcmp(value, "unicast") == 0 ? ReplyMode::kUnicast : ReplyMode::kBroadcast;
    return std::strcmp(value, "unicast") == 0 || std::strcmp(value, "broadcast") == 0;
  }
  if (option == "--set-delay-ms") {
    char* end = nullptr;
    const long ms = std::strtol(value, &end, 10);
    c.set_delay_ms = static_cast<int>(ms);
    return end != value && *end == '\0' && ms >= 0 && ms <= 600000;
  }
  if (option == "--search-delay-ms") {
    char* end = nullptr;
    const long ms = std::strtol(value, &end, 10);
    c.search_delay_ms = static_cast<int>(ms);
    return end != value && *end == '\0' && ms >= 0 && ms <= 600000;
  }
  if (option == "--dhcp-lease")
    return ParsePrefixed(value, &c.dhcp_lease.address, &c.dhcp_lease.mask);
  if (option == "--dhcp-gateway") return ParseAddress(value, &c.dhcp_lease.gateway);
  if (option == "--discovery-fault") return ParseFault(value, &c.fault);
  return false;
}

std::string AddressOptionForm(const std::string& option) {
  if (option == "--gateway" || option == "--dhcp-gateway")
    return "four decimal numbers from 0 to 255 separated by dots, such as 192.168.1.1";
  if (option == "--address" || option == "--dhcp-lease")
    return "an address of four decimal numbers from 0 to 255 separated by dots, a slash and a "
           "prefix length from 1 to 32, such as 192.168.1.20/24";
  return "";
}

bool StartDiscovery(const DiscoveryOptions& options,
                    const std::vector<std::unique_ptr<SimCamera>>& cameras,
                    std::unique_ptr<DiscoveryResponder>* responder, std::string* err) {
  const DiscoveryConfig& config = options.config;
  if (config.interface_name.empty() && options.address == 0) return true;
  uint32_t address = options.address;
  uint32_t mask = options.mask;
  if (address == 0 && !ReadInterfaceAddress(config.interface_name, &address, &mask)) {
    *err = "interface " + config.interface_name + " has no IPv4 address";
    return false;
  }
  std::vector<SimCamera*> borrowed;
  for (size_t i = 0; i < cameras.size(); ++i) {
    SimCamera::Settings settings;
    settings.address = htonl(ntohl(address) + static_cast<uint32_t>(i));
    settings.mask = mask;
    settings.gateway = options.gateway;
    cameras[i]->set_settings(settings);
    borrowed.push_back(cameras[i].get());
  }
  // Only a lone camera owns its interface's address.
  AddressApplier applier;
  if (cameras.size() == 1 && !config.interface_name.empty())
    applier = MakeInterfaceApplier(config.interface_name);
  auto started = std::make_unique<DiscoveryResponder>(config, borrowed, applier);
  if (!started->Start(err)) return false;
  *responder = std::move(started);
  return true;
}

}  // namespace camsim
