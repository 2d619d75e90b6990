#include "app/wizard_messages.h"

#include <string_view>
#include <utility>

#include "discovery/discovery_wire.h"

namespace {

constexpr const char* kNoDeviceChosenText =
    "More than one device answered as the camera after its settings were changed, and none "
    "was chosen: the password and the live view went to none of them. Try again to search "
    "and choose.";

struct Message {
  const char* key;
  MessageLook look;
  const char* fallback = "";
};

const Message kMessages[kMessageSlots] = {
    {"msg_pw_incorrect", {"Password not accepted", "id_pw_password"}},
    {"msg_pw_not_match", {"The new passwords differ", "id_pw_cf_new_pw"}},
    {"msg_pw_format_error", {"New password not allowed", "id_pw_new_pw"}},
    {"msg_change_pwd_fail", {"Password not changed", "id_pw_new_pw"}},
    {"msg_ip_incorrect", {"Address not usable", "fixedip_ip"}},
    {"msg_mask_incorrect", {"Subnet mask not usable", "fixedip_mask"}},
    {"msg_gateway_incorrect", {"Gateway not usable", "fixedip_gw"}},
    {"msg_set_dhcp_fail", {"", ""}},
    {"msg_set_fixed_ip_fail", {"", ""}},
    {"msg_rediscovery_fail", {"", ""}},
    {"msg_not_in_same_subnet", {"", ""}},
    {"msg_no_device_chosen", {"", ""}, kNoDeviceChosenText},
    {"msg_ip_form",
     {"Address not readable", "fixedip_ip"},
     "Please type the IP address as four numbers from 0 to 255 separated by dots, for example "
     "192.168.1.100: no spaces, no other characters, no zero in front of a number."},
    {"msg_mask_form",
     {"Subnet mask not readable", "fixedip_mask"},
     "Please type the subnet mask as four numbers from 0 to 255 separated by dots, for example "
     "255.255.255.0: no spaces, no other characters, no zero in front of a number."},
    {"msg_gateway_form",
     {"Gateway not readable", "fixedip_gw"},
     "Please type the gateway as four numbers from 0 to 255 separated by dots, for example "
     "192.168.1.1: no spaces, no other characters, no zero in front of a number."},
    {"msg_ip_network_address",
     {"Address not usable", "fixedip_ip"},
     "This is the address of the network itself under this subnet mask (with 255.255.255.0, the "
     "one ending in .0): no device can use it. Please choose another address in the network, for "
     "example 192.168.1.100."},
    {"msg_ip_broadcast_address",
     {"Address not usable", "fixedip_ip"},
     "This is the network's broadcast address under this subnet mask (with 255.255.255.0, the one "
     "ending in .255): it reaches every device at once. Please choose another address in the "
     "network, for example 192.168.1.100."},
    {"msg_ip_computer_address",
     {"Address taken by this computer", "fixedip_ip"},
     "This is the address of this computer. The camera needs an address of its own: please choose "
     "another one, or click \"Suggest an address again\"."},
    {"msg_gateway_camera_address",
     {"Gateway not usable", "fixedip_gw"},
     "The gateway cannot be the camera's own address. Please enter the address of your router, for "
     "example 192.168.1.1."},
    {"msg_ask_ip_unreachable",
     {"", "fixedip_ip"},
     "The address {address} is outside every network of this computer. The camera can take it, but "
     "this computer cannot reach it there directly, and the set-up cannot finish. Use this address "
     "anyway?"},
    {"msg_ask_gateway_elsewhere",
     {"", "fixedip_gw"},
     "The gateway {gateway} is not in the camera's network ({address} with subnet mask {mask}). A "
     "gateway is normally an address in the same network: the camera may not reach other networks "
     "through it. Use this gateway anyway?"},
    {"msg_unreachable_not_found",
     {"", ""},
     "The camera accepted the address {address} (mask {mask}, gateway {gateway}), outside every "
     "network of this computer, and was not found again. Give this computer an address in that "
     "network, or choose \"Try again\" and then an automatic address (DHCP)."},
    {"msg_unreachable_found",
     {"", ""},
     "The camera now answers at {address} (mask {mask}, gateway {gateway}), outside every network "
     "of this computer, so the set-up cannot reach it. Give this computer an address in that "
     "network, or choose \"Try again\" and then an automatic address (DHCP)."},
    {"msg_menu_item_unset",
     {"Nothing to open", ""},
     "This item has nothing to open: the set-up's configuration names no file or web address "
     "for it that the wizard may open."},
    {"msg_pw_no_answer",
     {"No answer from the camera", "id_pw_password"},
     "The camera did not answer in time, so the password could not be checked. Check its power "
     "and network cable, then try again."},
    {"msg_change_pwd_no_answer",
     {"", ""},
     "The camera did not answer when it was given the new password, so it may now have either "
     "password, the old or the new one. Try again to find out which one it has."},
    {"msg_pw_character",
     {"Password not usable", "id_pw_password"},
     "The current password contains a character that cannot be sent to the camera. Please check "
     "the password."},
};

}  // namespace

const char* MessageKey(int slot) { return kMessages[slot].key; }

const char* MessageFallback(int slot) { return kMessages[slot].fallback; }

const MessageLook& MessageLookOf(int slot) { return kMessages[slot].look; }

std::string FillInSettings(std::string text, uint32_t address, uint32_t mask, uint32_t gateway) {
  const std::pair<std::string_view, uint32_t> fields[] = {
      {"{address}", address}, {"{mask}", mask}, {"{gateway}", gateway}};
  for (const auto& [name, value] : fields) {
    const std::string dotted = DottedAddress(value);
    for (size_t at = text.find(name); at != std::string::npos;
         at = text.find(name, at + dotted.size()))
      text.replace(at, name.size(), dotted);
  }
  return text;
}
