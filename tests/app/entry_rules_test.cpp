// What the forms accept: the new password and fixed address settings.
#include "app/entry_rules.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

TEST(EntryRules, PasswordFormatAndDottedText) {
  for (const char* ok : {"abcd1234", "ABCDEFGHabcdefgh0123456789ABCDEF"})
    EXPECT_TRUE(IsPasswordFormatValid(ok)) << ok;
  for (const char* bad :
       {"abcd123", "ABCDEFGHabcdefgh0123456789ABCDEFG", "abcd_1234", "abcd 1234", "",
        "abcd\xc3\xa9"
        "1234"})
    EXPECT_FALSE(IsPasswordFormatValid(bad)) << bad;
  EXPECT_TRUE(IsDottedText("..."));
  EXPECT_TRUE(IsDottedText("1.2.3.4"));
  EXPECT_FALSE(IsDottedText("1.2.3"));
  EXPECT_FALSE(IsDottedText(""));
}

TEST(EntryRules, FixedSettingsNameTheirFirstProblem) {
  struct Case {
    const char *address, *mask, *gateway;
    FixedIpProblem problem;
  } cases[] = {
      {"192.168.1.20", "255.255.255.0", "192.168.1.1", FixedIpProblem::kNone},
      {"10.0.0.5", "255.0.0.0", "10.0.0.1", FixedIpProblem::kNone},
      {"127.0.0.5", "255.0.0.0", "127.0.0.1", FixedIpProblem::kAddress},
      {"224.0.0.1", "255.255.255.0", "192.168.1.1", FixedIpProblem::kAddress},
      {"0.0.0.0", "255.255.255.0", "192.168.1.1", FixedIpProblem::kAddress},
      {"192.168.1.0", "255.255.255.0", "192.168.1.1", FixedIpProblem::kMask},    // the subnet
      {"192.168.1.255", "255.255.255.0", "192.168.1.1", FixedIpProblem::kMask},  // its broadcast
      {"192.168.1.20", "255.0.255.0", "192.168.1.1", FixedIpProblem::kMask},     // not contiguous
      {"192.168.1.20", "0.255.255.0", "192.168.1.1", FixedIpProblem::kMask},
      {"192.168.1.20", "255.255.255.0", "192.168.1.255", FixedIpProblem::kGateway},
      {"192.168.1.20", "255.255.255.0", "0.0.0.0", FixedIpProblem::kGateway},
      {"192.168.1.20", "255.255.255.255", "192.168.1.1", FixedIpProblem::kMask},
      {"0.1.2.3", "255.255.255.0", "192.168.1.1", FixedIpProblem::kAddress},
      {"192.168.1.20", "255.255.255.0", "127.0.0.1", FixedIpProblem::kGateway},
      {"223.1.1.1", "255.255.255.0", "223.1.1.254", FixedIpProblem::kNone},
      {"192.168.1.20", "255.255.255.0", "10.0.0.1", FixedIpProblem::kNone},  // gateway elsewhere
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckFixedIp(inet_addr(c.address), inet_addr(c.mask), inet_addr(c.gateway)),
              c.problem)
        << c.address << " " << c.mask << " " << c.gateway;
  }
}

}  // namespace
