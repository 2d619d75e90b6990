#include "app/fixed_address_form.h"

#include <arpa/inet.h>

#include <string>
#include <utility>

#include "app/entry_rules.h"
#include "app/text_convert.h"
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
    case FixedIpProblem::kGateway:
      break;
  }
  return kMsgGatewayIncorrect;
}

}  // namespace

int ReadFixedIpFields(IPageHost& pages, NetSettings* settings,
                      const std::function<bool(uint32_t address)>& usable_address) {
  struct Field {
    const char* id;
    uint32_t* value;
    int slot;
    bool pass;
  };
  Field fields[] = {{"fixedip_ip", &settings->ipAddress, kMsgIpIncorrect, false},
                    {"fixedip_mask", &settings->subnetMask, kMsgMaskIncorrect, false},
                    {"fixedip_gw", &settings->gateway, kMsgGatewayIncorrect, false}};
  for (Field& field : fields) {
    const std::optional<std::string> text = ReadPageText(pages, field.id);
    if (!text) continue;
    const std::string narrow = Utf8ToLatin1(*text).substr(0, 259);
    *field.value = inet_addr(narrow.c_str());  // unparsable: 255.255.255.255
    field.pass = IsDottedText(narrow);
  }
  if (fields[0].pass) fields[0].pass = usable_address(settings->ipAddress);
  for (const Field& field : fields) {
    if (!field.pass) return field.slot;
  }
  return CheckedSettingsSlot(*settings);
}
