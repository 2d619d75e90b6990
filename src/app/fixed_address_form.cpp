#include "app/fixed_address_form.h"

#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "app/entry_rules.h"
#include "app/wizard_messages.h"
#include "discovery/discovery_wire.h"

void FillFixedIpFields(IPageHost& pages, const NetSettings& settings) {
  const std::pair<const char*, uint32_t> fields[] = {{"fixedip_ip", settings.ipAddress},
                                                     {"fixedip_mask", settings.subnetMask},
                                                     {"fixedip_gw", settings.gateway}};
  for (const auto& [id, address] : fields) {
    if (address != 0) pages.SetAttribute(id, "value", DottedAddress(address));
  }
}

namespace {

int CheckedSettingsSlot(const NetSettings& settings) {
  switch (CheckFixedIp(settings.ipAddress, settings.subnetMask, settings.gateway)) {
    case FixedIpProblem::kNone:
      return -1;
    case FixedIpProblem::kAddress:
      return kMsgIpIncorrect;
    case FixedIpProblem::kMask:
      return kMsgMaskIncorrect;
    case FixedIpProblem::kNetworkAddress:
      return kMsgIpIsNetwork;
    case FixedIpProblem::kBroadcastAddress:
      return kMsgIpIsBroadcast;
    case FixedIpProblem::kGateway:
      return kMsgGatewayIncorrect;
    case FixedIpProblem::kGatewayIsAddress:
      break;
  }
  return kMsgGatewayIsCamera;
}

}  // namespace

int ReadFixedIpFields(IPageHost& pages, NetSettings* settings,
                      const std::function<bool(uint32_t address)>& own_address) {
  const std::pair<const char*, uint32_t NetSettings::*> fields[] = {
      {"fixedip_ip", &NetSettings::ipAddress},
      {"fixedip_mask", &NetSettings::subnetMask},
      {"fixedip_gw", &NetSettings::gateway}};
  const int form_slots[] = {kMsgIpForm, kMsgMaskForm, kMsgGatewayForm};
  int refusal = -1;
  for (size_t i = 0; i < std::size(fields); ++i) {
    const std::optional<std::string> text = ReadPageText(pages, fields[i].first);
    const std::optional<uint32_t> value = text ? ParseDottedQuad(*text) : std::nullopt;
    if (value) {
      settings->*fields[i].second = *value;
    } else if (refusal < 0) {
      refusal = form_slots[i];
    }
  }
  if (refusal >= 0) return refusal;
  if (const int slot = CheckedSettingsSlot(*settings); slot >= 0) return slot;
  return own_address(settings->ipAddress) ? kMsgIpIsComputer : -1;
}
