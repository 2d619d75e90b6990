#include "net/base64.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Encode(const std::string& in) {
  char out[64];
  const int size = Base64EncodedSize(static_cast<int>(in.size()));
  EXPECT_EQ(Base64Encode(out, static_cast<int>(in.size()),
                         reinterpret_cast<const unsigned char*>(in.data()), size),
            size);
  return out;
}

TEST(Base64Encode, MatchesRfc4648Vectors) {
  EXPECT_EQ(Encode(""), "");
  EXPECT_EQ(Encode("a"), "YQ==");
  EXPECT_EQ(Encode("ab"), "YWI=");
  EXPECT_EQ(Encode("abc"), "YWJj");
  EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Encode("admin:kerut"), "YWRtaW46a2VydXQ=");
}

TEST(Base64Encode, HighBytesUseWholeAlphabet) {
  EXPECT_EQ(Encode("\xff\xfe\xfd"), "//79");
  EXPECT_EQ(Encode(std::string("\0\0\0", 3)), "AAAA");
}

TEST(Base64Encode, IgnoresBytesPastTheInput) {
  // A short input followed by non-zero bytes: only the first byte may count.
  const unsigned char in[3] = {'a', 'x', 'y'};
  char out[8];
  Base64Encode(out, 1, in, sizeof out);
  EXPECT_STREQ(out, "YQ==");
}

TEST(Base64Encode, NeverWritesPastDestinationSize) {
  char out[8];
  std::memset(out, '#', sizeof out);
  const unsigned char in[] = "abcdef";
  Base64Encode(out, 6, in, 5);  // room for one group and its terminator only
  EXPECT_STREQ(out, "YWJj");
  EXPECT_EQ(out[5], '#');
}

}  // namespace
