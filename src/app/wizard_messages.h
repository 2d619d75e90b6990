// The message texts of Message.ini: which slot holds which, under which key,
// and how those shown in a message box look.
#pragma once

#include <cstdint>
#include <string>

// Slots of WizardState::m_messages. Slots 7 to 10 are texts of the failure page.
// The slots from kFirstAddedMessage on are texts that older media do not
// have: they are looked up the same way, and a medium without the key gets
// the wizard's own text (MessageFallback).
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
  kFirstAddedMessage = 11,
  // New slots go here, each with its row in kMessages (wizard_messages.cpp)
  // and its line in HTML/Message.ini.
  kMsgNoDeviceChosen = kFirstAddedMessage,
  // The fixed-address page: a field that is not four decimal numbers, and
  // settings the camera could take but that are not what the user meant.
  kMsgIpForm,
  kMsgMaskForm,
  kMsgGatewayForm,
  kMsgIpIsNetwork,
  kMsgIpIsBroadcast,
  kMsgIpIsComputer,
  kMsgGatewayIsCamera,
  // Questions of that page, filled in by FillInSettings.
  kAskIpUnreachable,
  kAskGatewayElsewhere,
  // Failure page texts after settings kept although this computer cannot
  // reach them, filled in by FillInSettings.
  kMsgKeptUnreachableNotFound,
  kMsgKeptUnreachableFound,
  kMsgMenuItemUnset,
  kMsgPwNoAnswer,         // the proof got no answer in time
  kMsgChangePwdNoAnswer,  // the change got none: either password may hold
  kMsgPwCharacter,        // the current password cannot be sent as typed
  kMessageSlots = kMsgPwCharacter + 1,
};

// The key of a slot in Message.ini's [Message] section.
const char* MessageKey(int slot);
// The text a medium without the slot's key gets: empty for the slots that
// every medium has.
const char* MessageFallback(int slot);

// A box's short heading over the text, and the page field the message is
// about (it gets the focus back); empty for the failure page's texts.
struct MessageLook {
  const char* heading;
  const char* field;
};
const MessageLook& MessageLookOf(int slot);

// `text` with "{address}", "{mask}" and "{gateway}" replaced by those
// settings in dotted form (network byte order), wherever they occur.
std::string FillInSettings(std::string text, uint32_t address, uint32_t mask, uint32_t gateway);
