#include "app/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "app/app_paths.h"
#include "app/text_convert.h"

namespace {

std::string Utf16Le(const std::u16string& text, bool bom = true) {
  std::string bytes = bom ? "\xFF\xFE" : "";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

ProfileFile Parsed(const std::string& bytes) {
  ProfileFile f;
  f.Parse(bytes);
  return f;
}

TEST(ProfileFile, NamesMatchWithoutCaseAndFirstMatchWins) {
  ProfileFile f =
      Parsed("[System]\nModel=TAVO-C1\nmodel=second\n[SYSTEM]\nTitle=late\n[system]\nMenu=4\n");
  EXPECT_EQ(f.GetString("system", "MODEL", "d"), "TAVO-C1");
  // Only the first section of a name is searched, as the profile functions do.
  EXPECT_EQ(f.GetString("System", "Title", "d"), "d");
  EXPECT_EQ(f.GetInt("System", "Menu", 9), 9);
}

TEST(ProfileFile, TrimsBlanksAndOnePairOfQuotes) {
  ProfileFile f = Parsed(
      "[S]\n  a  =  spaced value \t\r\nb=\"quoted\"\nc=\"\"twice\"\"\nd='single'\ne=\"open\n"
      "f = \" inner blanks \"\n");
  EXPECT_EQ(f.GetString("S", "a", ""), "spaced value");
  EXPECT_EQ(f.GetString("S", "b", ""), "quoted");
  EXPECT_EQ(f.GetString("S", "c", ""), "\"twice\"");
  EXPECT_EQ(f.GetString("S", "d", ""), "single");
  EXPECT_EQ(f.GetString("S", "e", ""), "\"open");
  EXPECT_EQ(f.GetString("S", "f", ""), " inner blanks ");
}

TEST(ProfileFile, ValuesKeepSemicolonsAndIndentedLinesAreKeys) {
  ProfileFile f = Parsed("[S]\n; comment=1\nurl=https://x.example/a;b # c\n  next=2\n");
  EXPECT_EQ(f.GetString("S", "url", ""), "https://x.example/a;b # c");
  EXPECT_EQ(f.GetString("S", "next", ""), "2");
  EXPECT_EQ(f.GetString("S", "; comment", "none"), "none");
}

TEST(ProfileFile, MissingFileSectionOrKeyGivesDefault) {
  ProfileFile f;
  EXPECT_FALSE(f.Load("/nonexistent/dir/Config.ini"));
  EXPECT_EQ(f.GetString("System", "Title", "dflt"), "dflt");
  EXPECT_EQ(f.GetInt("System", "Menu", 3), 3);
  ProfileFile g = Parsed("key=outside any section\n[A]\nx=1\n");
  EXPECT_EQ(g.GetString("B", "x", "none"), "none");
  EXPECT_EQ(g.GetString("A", "key", "none"), "none");
  EXPECT_EQ(g.GetString("A", "y", ""), "");
}

TEST(ProfileFile, ValueIsCutAt259Characters) {
  std::string long_value(300, 'v');
  ProfileFile f = Parsed("[S]\nk=" + long_value + "\nafter=ok\n");
  EXPECT_EQ(f.GetString("S", "k", ""), std::string(259, 'v'));
  EXPECT_EQ(f.GetString("S", "after", ""), "ok");
  // Characters, not bytes: 300 two-byte characters keep 259 whole ones.
  std::string wide;
  for (int i = 0; i < 300; ++i) wide += "\xC3\xA9";
  EXPECT_EQ(Parsed("[S]\nk=" + wide + "\n").GetString("S", "k", "").size(), 259u * 2);
  // A character outside the basic plane counts twice and is never split.
  std::string astral = std::string(258, 'a') + "\xF0\x9F\x93\xB7";
  EXPECT_EQ(Parsed("[S]\nk=" + astral + "\n").GetString("S", "k", ""), std::string(258, 'a'));
}

TEST(ProfileFile, IntegersReadTheLeadingNumber) {
  ProfileFile f = Parsed("[S]\na=800\nb= -2 \nc=12px\nd=abc\ne=\nf=4294967301\ng=-2147483649\n");
  EXPECT_EQ(f.GetInt("S", "a", 0), 800);
  EXPECT_EQ(f.GetInt("S", "b", 0), -2);
  EXPECT_EQ(f.GetInt("S", "c", 0), 12);
  EXPECT_EQ(f.GetInt("S", "d", 5), 0);
  EXPECT_EQ(f.GetInt("S", "e", 5), 0);
  EXPECT_EQ(f.GetInt("S", "f", 0), 2147483647);  // held at the limit, not wrapped to 5
  EXPECT_EQ(f.GetInt("S", "g", 0), -2147483647 - 1);
}

TEST(ProfileEncodings, Utf8WithAndWithoutBomAndUtf16Le) {
  const std::string title = "Kamera-Einrichtung \xC3\xBC";
  EXPECT_EQ(Parsed("\xEF\xBB\xBF[System]\nTitle=" + title + "\n").GetString("System", "Title", ""),
            title);
  EXPECT_EQ(Parsed("[System]\r\nTitle=" + title + "\r\n").GetString("System", "Title", ""), title);
  ProfileFile wide = Parsed(Utf16Le(u"[System]\r\nTitle=Kamera-Einrichtung \u00FC\r\nMenu=1\r\n"));
  EXPECT_EQ(wide.GetString("system", "title", ""), title);
  EXPECT_EQ(wide.GetInt("System", "Menu", 0), 1);
  // A surrogate pair comes out as one four-byte character.
  EXPECT_EQ(Parsed(Utf16Le(u"[S]\nk=\U0001F4F7\n")).GetString("S", "k", ""), "\xF0\x9F\x93\xB7");
}

TEST(ProfileEncodings, NonUtf8BytesAreReadAsLatin1) {
  EXPECT_EQ(Parsed("[S]\nk=caf\xE9\n").GetString("S", "k", ""), "caf\xC3\xA9");
  // Sequences shaped like UTF-8 that are not well-formed make the file Latin-1 too.
  EXPECT_EQ(Parsed("[S]\nk=\xED\xA0\x80\n").GetString("S", "k", ""), "\xC3\xAD\xC2\xA0\xC2\x80");
  EXPECT_EQ(Parsed("[S]\nk=\xC0\xAF\n").GetString("S", "k", ""), "\xC3\x80\xC2\xAF");
}

// One U+FFFD (or one '?') per maximal invalid subpart: the longest start of
// a well-formed sequence, or else a single byte, as web pages decode.
TEST(TextConversions, BrokenUtf8IsReplacedPerMaximalSubpart) {
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  struct Case {
    std::string bytes;
    std::string repaired;
    std::string latin1;
    int units;  // UTF-16 units CutToUtf16Units counts
  } cases[] = {
      {"a\xC3\xA9", "a\xC3\xA9", "a\xE9", 2},
      {"\xE2\x82\xAC\xF0\x9F\x93\xB7", "\xE2\x82\xAC\xF0\x9F\x93\xB7", "??", 3},
      {"\xC0\x80", r + r, "??", 2},                      // overlong NUL
      {"\xE0\x80\x80", r + r + r, "???", 3},             // overlong, three bytes
      {"\xF0\x8F\xBF\xBF", r + r + r + r, "????", 4},    // overlong, four bytes
      {"\xED\xA0\x80", r + r + r, "???", 3},             // surrogate U+D800
      {"\xED\x9F\xBF", "\xED\x9F\xBF", "?", 1},          // U+D7FF is fine
      {"\xF4\x90\x80\x80", r + r + r + r, "????", 4},    // U+110000
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", "?", 2},  // U+10FFFF is fine
      {"\xFF", r, "?", 1},
      {"\xE2\x82x", r + "x", "?x", 2},  // a cut sequence is one subpart
      {"\xF0\x9F\x93", r, "?", 1},
      {"\x80\xBF", r + r, "??", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RepairUtf8(c.bytes), c.repaired) << c.bytes;
    EXPECT_EQ(Utf8ToLatin1(c.bytes), c.latin1) << c.bytes;
    EXPECT_EQ(CutToUtf16Units(c.bytes, c.units), c.bytes) << c.bytes;
    EXPECT_LT(CutToUtf16Units(c.bytes, c.units - 1).size(), c.bytes.size()) << c.bytes;
  }
  EXPECT_EQ(Latin1ToUtf8("\xE9x"), "\xC3\xA9x");
}

TEST(AppPaths, BaseFolderIsParentOfExecutableFolder) {
  EXPECT_EQ(BaseFolderFromExecutable("/media/cd/Setup/quenlo-setup"), "/media/cd/");
  EXPECT_EQ(HtmlFolderFromBase(BaseFolderFromExecutable("/media/cd/bin/x")), "/media/cd/HTML/");
  EXPECT_EQ(BaseFolderFromExecutable("/Setup/x"), "/");
  // At the root the steps run out of separators: the page folder is relative.
  EXPECT_EQ(BaseFolderFromExecutable("/x"), "");
  EXPECT_EQ(HtmlFolderFromBase(BaseFolderFromExecutable("/x")), "HTML/");
}

TEST(AppPaths, CurrentExecutableIsTheTestBinary) {
  std::string exe = CurrentExecutablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.substr(exe.rfind('/') + 1), "quenlo_tests");
}

}  // namespace
