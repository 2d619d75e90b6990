#include "app/profile.h"

#include <gtest/gtest.h>

#include <string>

#include "app/app_paths.h"

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
  ProfileFile f = Parsed("[S]\na=800\nb= -2 \nc=12px\nd=abc\ne=\n");
  EXPECT_EQ(f.GetInt("S", "a", 0), 800);
  EXPECT_EQ(f.GetInt("S", "b", 0), -2);
  EXPECT_EQ(f.GetInt("S", "c", 0), 12);
  EXPECT_EQ(f.GetInt("S", "d", 5), 0);
  EXPECT_EQ(f.GetInt("S", "e", 5), 0);
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
