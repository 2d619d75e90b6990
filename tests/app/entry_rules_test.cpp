// What the forms accept: the new password and fixed address settings.
#include "app/entry_rules.h"

#include <gtest/gtest.h>

#include "app/fixed_address_form.h"
#include "app/wizard_messages.h"
#include "discovery/discovery_wire.h"
#include "support/fake_page_host.h"

namespace {

TEST(EntryRules, PasswordFormat) {
  for (const char* ok : {"abcd1234", "ABCDEFGHabcdefgh0123456789ABCDEF"})
    EXPECT_TRUE(IsPasswordFormatValid(ok)) << ok;
  for (const char* bad :
       {"abcd123", "ABCDEFGHabcdefgh0123456789ABCDEFG", "abcd_1234", "abcd 1234", "",
        "abcd\xc3\xa9"
        "1234"})
    EXPECT_FALSE(IsPasswordFormatValid(bad)) << bad;
}

// The fixed-address page's three fields as typed: accepted settings are
// stored exactly as the page shows them; otherwise the message of the first
// problem, and a text that is not an address leaves its setting as it was.
TEST(EntryRules, TypedFixedSettingsAreSentAsShownOrNameTheirProblem) {
  constexpr int kAccepted = -1;
  struct Case {
    const char *ip, *mask, *gw;  // null: the page has no such field
    int slot;
  } cases[] = {
      {"192.168.1.20", "255.255.255.0", "192.168.1.1", kAccepted},
      {"10.0.0.5", "255.0.0.0", "10.0.0.1", kAccepted},
      {"223.1.1.1", "255.255.255.0", "223.1.1.254", kAccepted},
      {"192.168.1.0", "255.255.254.0", "192.168.0.1", kAccepted},       // a host under /23
      {"192.168.1.20", "255.255.255.0", "10.0.0.1", kAccepted},         // gateway elsewhere: asked
      {"192.168.010.020", "255.255.255.0", "192.168.1.1", kMsgIpForm},  // octal elsewhere
      {"0x7f.0.0.1", "255.0.0.0", "10.0.0.1", kMsgIpForm},
      {"3232235796", "255.255.255.0", "192.168.1.1", kMsgIpForm},  // one number for all four
      {"192.168.1.77 x", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {" 192.168.1.20", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {"192.168.1.20 ", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {"192.168. 1.20", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {"10.0.1", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {"192.168.1.256", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {"192.168.1.20.", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {"192..168.1", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {"192.168.1.-1", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {"\xef\xbc\x91"
       "92.168.1.20",
       "255.255.255.0", "192.168.1.1", kMsgIpForm},  // full-width 1
      {"", "255.255.255.0", "192.168.1.1", kMsgIpForm},
      {"1.2.3.x", "255.255.255", "192.168.1", kMsgIpForm},  // the first field's message
      {"192.168.1.20", "255.255.255.00", "192.168.1.1", kMsgMaskForm},
      {"192.168.1.20", "0xffffff00", "192.168.1.1", kMsgMaskForm},
      {"192.168.1.20", "255.255.255.0", "192.168.001.1", kMsgGatewayForm},
      {"192.168.1.20", "255.255.255.0", "192.168.1.1\t", kMsgGatewayForm},
      {"192.168.1.20", "255.255.255.0", nullptr, kMsgGatewayForm},
      {"127.0.0.5", "255.0.0.0", "127.0.0.1", kMsgIpIncorrect},
      {"224.0.0.1", "255.255.255.0", "192.168.1.1", kMsgIpIncorrect},
      {"0.0.0.0", "255.255.255.0", "192.168.1.1", kMsgIpIncorrect},
      {"0.1.2.3", "255.255.255.0", "192.168.1.1", kMsgIpIncorrect},
      {"255.255.255.255", "255.255.255.0", "192.168.1.1", kMsgIpIncorrect},
      {"192.168.1.20", "255.0.255.0", "192.168.1.1", kMsgMaskIncorrect},  // not contiguous
      {"192.168.1.20", "0.255.255.0", "192.168.1.1", kMsgMaskIncorrect},
      {"192.168.1.20", "255.255.255.255", "192.168.1.1", kMsgMaskIncorrect},
      {"192.168.1.20", "0.0.0.0", "192.168.1.1", kMsgMaskIncorrect},
      {"192.168.1.0", "255.255.255.0", "192.168.1.1", kMsgIpIsNetwork},
      {"192.168.1.255", "255.255.255.0", "192.168.1.1", kMsgIpIsBroadcast},
      {"10.255.255.255", "255.0.0.0", "10.0.0.1", kMsgIpIsBroadcast},
      {"192.168.1.20", "255.255.255.0", "192.168.1.255", kMsgGatewayIncorrect},
      {"192.168.1.20", "255.255.255.0", "0.0.0.0", kMsgGatewayIncorrect},
      {"192.168.1.20", "255.255.255.0", "127.0.0.1", kMsgGatewayIncorrect},
      {"192.168.1.20", "255.255.255.0", "192.168.1.20", kMsgGatewayIsCamera},
      {"192.168.1.10", "255.255.255.0", "192.168.1.1", kMsgIpIsComputer},
      {"192.168.1.10", "255.0.255.0", "192.168.1.1", kMsgMaskIncorrect},  // the rules come first
  };
  const uint32_t own = ParseDottedAddress("192.168.1.10");
  const uint32_t before = ParseDottedAddress("1.1.1.1");
  for (const Case& c : cases) {
    FakePageHost pages;
    const char* texts[] = {c.ip, c.mask, c.gw};
    const char* ids[] = {"fixedip_ip", "fixedip_mask", "fixedip_gw"};
    for (int i = 0; i < 3; ++i)
      if (texts[i]) pages.AddElement(ids[i], "value", std::string(texts[i]));
    NetSettings settings;
    settings.ipAddress = settings.subnetMask = settings.gateway = before;
    const int slot =
        ReadFixedIpFields(pages, &settings, [&](uint32_t address) { return address == own; });
    const std::string typed = std::string(c.ip) + "|" + (c.mask) + "|" + (c.gw ? c.gw : "-");
    EXPECT_EQ(slot, c.slot) << typed;
    const uint32_t stored[] = {settings.ipAddress, settings.subnetMask, settings.gateway};
    for (int i = 0; i < 3; ++i) {
      if (texts[i] && ParseDottedQuad(texts[i]))
        EXPECT_EQ(DottedAddress(stored[i]), texts[i]) << typed;
      else
        EXPECT_EQ(stored[i], before) << typed << " field " << i;
    }
  }
}

TEST(EntryRules, MessagesAreFilledInWithTheSettings) {
  EXPECT_EQ(FillInSettings("{address}/{mask} via {gateway}, again {address}",
                           ParseDottedAddress("10.99.0.5"), ParseDottedAddress("255.255.0.0"),
                           ParseDottedAddress("10.99.0.1")),
            "10.99.0.5/255.255.0.0 via 10.99.0.1, again 10.99.0.5");
  EXPECT_EQ(FillInSettings("no fields {addr}", 0, 0, 0), "no fields {addr}");
}

}  // namespace
