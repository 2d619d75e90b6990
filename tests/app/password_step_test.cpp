// What the password page's fields become: the passwords that go to the
// camera, or the message that refuses them and the fields it empties.
#include "app/password_step.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/text_convert.h"
#include "app/wizard_messages.h"
#include "support/fake_page_host.h"

namespace {

struct Row {
  const char* what;
  std::string current, next, confirm;
  bool change;
  int slot;  // -1: taken
  // Taken: what goes to the camera as 8-bit text. Refused: what the fields
  // hold afterwards.
  std::string sent_current, sent_new;
};

TEST(PasswordFields, TypedTextIsSentExactlyOrRefusedWithTheFieldsAtFault) {
  const std::string p32(32, 'a'), p33 = p32 + "b", p64 = p32 + p32;
  const Row rows[] = {
      {"8 letters and digits", "kerut", "abcd1234", "abcd1234", true, -1, "kerut", "abcd1234"},
      {"32 characters", "kerut", p32, p32, true, -1, "kerut", p32},
      {"33 characters", "kerut", p33, p33, true, kMsgPwFormatError, "kerut", ""},
      {"64 pasted in both, never cut to 32", "kerut", p64, p64, true, kMsgPwFormatError, "kerut",
       ""},
      {"7 characters beat a mismatch", "kerut", "abc1234", "other", true, kMsgPwFormatError,
       "kerut", ""},
      {"underscore", "kerut", "abcd_1234", "abcd_1234", true, kMsgPwFormatError, "kerut", ""},
      {"blank", "kerut", "abcd 1234", "abcd 1234", true, kMsgPwFormatError, "kerut", ""},
      {"non-ASCII letter", "kerut",
       "abcd\xc3\xa9"
       "1234",
       "abcd\xc3\xa9"
       "1234",
       true, kMsgPwFormatError, "kerut", ""},
      {"confirmation differs in case", "kerut", "Goodpass12", "goodpass12", true, kMsgPwNotMatch,
       "kerut", ""},
      {"unticked: the new fields are ignored", "kerut", "x", "y", false, -1, "kerut", ""},
      {"empty current password", "", "", "", false, -1, "", ""},
      {"current with Latin-1 letters", "p\xc3\xa4ss w\xc3\xb6rd:!", "", "", false, -1,
       "p\xe4ss w\xf6rd:!", ""},
      {"current with a character above U+00FF", "pass\xe2\x82\xac", "abcd1234", "abcd1234", true,
       kMsgPwCharacter, "", "abcd1234"},
      {"current in a script without 8-bit form", "\xe5\xaf\x86\xe7\xa0\x81", "", "", false,
       kMsgPwCharacter, "", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakePageHost pages;
    pages.AddElement("id_pw_password", "value", row.current);
    pages.AddElement("id_pw_change_pw", "checked", row.change);
    pages.AddElement("id_pw_new_pw", "value", row.next);
    pages.AddElement("id_pw_cf_new_pw", "value", row.confirm);
    WizardState state;
    state.m_newPassword = "earlier1";
    EXPECT_EQ(TakePasswordFields(pages, state), row.slot);
    if (row.slot < 0) {
      EXPECT_EQ(Utf8ToLatin1(state.m_password), row.sent_current);
      EXPECT_EQ(state.m_newPassword, row.sent_new);
      // Nothing is emptied: the page goes on as it was.
      EXPECT_EQ(pages.GetAttribute("id_pw_new_pw", "value"), PageValue(row.next));
    } else {
      EXPECT_EQ(state.m_newPassword, "");
      EXPECT_EQ(pages.GetAttribute("id_pw_password", "value"), PageValue(row.sent_current));
      EXPECT_EQ(pages.GetAttribute("id_pw_new_pw", "value"), PageValue(row.sent_new));
      EXPECT_EQ(pages.GetAttribute("id_pw_cf_new_pw", "value"), PageValue(row.sent_new));
    }
  }
}

}  // namespace
