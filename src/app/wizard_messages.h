// The message texts of Message.ini: which slot holds which, under which key,
// and how those shown in a message box look.
#pragma once

// Slots of WizardState::m_messages. Slots 7 to 10 are texts of the failure page.
enum MessageSlot : int {
  kMsgPwIncorrect = 0,
  kMsgPwNotMatch = 1,
  kMsgPwFormatError = 2,
  kMsgChangePwdFail = 3,
  kMsgIpIncorrect = 4,
  kMsgMaskIncorrect = 5,
  kMsgGatewayIncorrect = 6,
  kMsgSetDhcpFail = 7,
  kMsgSetFixedIpFail = 8,
  kMsgRediscoveryFail = 9,
  kMsgNotInSameSubnet = 10,
  kMessageSlots = 11,
};

// The key of a slot in Message.ini's [Message] section.
const char* MessageKey(int slot);

// A box's short heading over the text, and the page field the message is
// about (it gets the focus back); empty for the failure page's texts.
struct MessageLook {
  const char* heading;
  const char* field;
};
const MessageLook& MessageLookOf(int slot);
