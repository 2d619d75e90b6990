#include "app/wizard_messages.h"

namespace {

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
    {"msg_menu_item_unset",
     {"Nothing to open", ""},
     "This item has nothing to open: the set-up's configuration names no file or web address "
     "for it that the wizard may open."},
};

}  // namespace

const char* MessageKey(int slot) { return kMessages[slot].key; }

const char* MessageFallback(int slot) { return kMessages[slot].fallback; }

const MessageLook& MessageLookOf(int slot) { return kMessages[slot].look; }
