#include "app/picture_file.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(PictureFile, NameIsTheCameraAndTheTimeMadeSafe) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 8;
  t.tm_hour = 23;
  t.tm_min = 15;
  t.tm_sec = 2;
  const struct {
    std::string name;
    std::string file;
  } cases[] = {
      {"Front door", "Front door 2026-12-08 23-15-02.png"},
      {"../../etc/passwd", "_.._etc_passwd 2026-12-08 23-15-02.png"},
      {"a\\b:c*d?e\"f<g>h|i\tj", "a_b_c_d_e_f_g_h_ij 2026-12-08 23-15-02.png"},
      // Direction controls and C0, DEL and C1 go; their neighbours (no-break
      // spaces, the joiner) stay.
      {"Front door \u202e12.1.861.291", "Front door 12.1.861.291 2026-12-08 23-15-02.png"},
      {"\u2066L\u2069\u200e\u200f\u061c\u202a\u202b\u202c\u202d\u2067\u2068R",
       "LR 2026-12-08 23-15-02.png"},
      {"a\u0085b\u009f\u0080c\x7f"
       "d\x01\x1b[1me\u00a0\u202f\u200d",
       "abcd[1me\u00a0\u202f\u200d 2026-12-08 23-15-02.png"},
      {"\u202e\u0085\r\n", "Camera 2026-12-08 23-15-02.png"},
      // Bytes of no whole character: a stray one, an overlong '/', a cut end.
      {"a\xff"
       "b\xe0\x80\xaf"
       "c\xe2\x80",
       "a_b___c__ 2026-12-08 23-15-02.png"},
      {" .hidden. ", "hidden 2026-12-08 23-15-02.png"},
      {"...", "Camera 2026-12-08 23-15-02.png"},
      {"", "Camera 2026-12-08 23-15-02.png"},
      {"Caf\u00e9 \u00e0 l'entr\u00e9e", "Caf\u00e9 \u00e0 l'entr\u00e9e 2026-12-08 23-15-02.png"},
      // 99 ASCII bytes, then a two-byte letter that would end past the cut.
      {std::string(99, 'x') + "\u00e9", std::string(99, 'x') + " 2026-12-08 23-15-02.png"},
  };
  for (const auto& c : cases) EXPECT_EQ(PictureFileName(c.name, t), c.file) << c.name;
}

TEST(PictureFile, SecondSaveInTheSameSecondKeepsTheFirst) {
  std::set<std::string> taken;
  const auto exists = [&taken](const std::string& path) { return taken.count(path) > 0; };
  const std::string name = "Front door 2026-12-08 23-15-02.png";
  std::string paths[3];
  for (std::string& path : paths) {
    path = FreePicturePath("/p", name, exists);
    taken.insert(path);
  }
  EXPECT_EQ(paths[0], "/p/Front door 2026-12-08 23-15-02.png");
  EXPECT_EQ(paths[1], "/p/Front door 2026-12-08 23-15-02 (2).png");
  EXPECT_EQ(paths[2], "/p/Front door 2026-12-08 23-15-02 (3).png");
  EXPECT_EQ(FreePicturePath("/p", name, [](const std::string&) { return true; }), "");
}

}  // namespace
