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
