#include "net/http.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/scripted_server.h"

namespace {

using testsupport::Reply;
using testsupport::ScriptedServer;
using namespace std::string_literals;

std::string Repeat(char c, size_t n) { return std::string(n, c); }

// Sends one request to `server` and reads the header; the status.
int Exchange(NHttp* http, const ScriptedServer& server, const char** header) {
  http->SetServer("127.0.0.1", server.port(), nullptr, nullptr);
  EXPECT_GT(http->SendGetRequest("/x"), 0);
  return http->ReceiveHeader(header);
}

TEST(NHttpRequest, IsExactlyTheCameraRequestFormat) {
  ScriptedServer server({{Reply("HTTP/1.1 200 OK")}});
  NHttp http;
  ASSERT_TRUE(http.SetServer("127.0.0.1", server.port(), "admin", "kerut"));
  const char* header = nullptr;
  const std::string expected =
      "GET /cgi/a?b=c HTTP/1.1\r\nUser-Agent: \r\nConnection: Keep-Alive\r\n"
      "Authorization: Basic YWRtaW46a2VydXQ=\r\n\r\n";
  ASSERT_EQ(http.SendGetRequest("/cgi/a?b=c"), static_cast<int>(expected.size()));
  ASSERT_EQ(http.ReceiveHeader(&header), 200);
  EXPECT_EQ(server.last_request(), expected);
}

TEST(NHttpRequest, CredentialsAreKeptOrOmitted) {
  ScriptedServer server({{Reply("HTTP/1.1 200 OK")}});
  NHttp fresh;
  const char* header = nullptr;
  EXPECT_EQ(Exchange(&fresh, server, &header), 200);
  EXPECT_EQ(server.last_request(),
            "GET /x HTTP/1.1\r\nUser-Agent: \r\nConnection: Keep-Alive\r\n\r\n");

  NHttp kept;
  kept.SetServer(L"127.0.0.1", server.port(), L"admin", L"kerut");
  EXPECT_EQ(Exchange(&kept, server, &header), 200);  // a null user keeps the line
  EXPECT_NE(server.last_request().find("Authorization: Basic YWRtaW46a2VydXQ=\r\n"),
            std::string::npos);
}

TEST(NHttpRequest, OverlongCredentialsAreRefusedNotOverrun) {
  NHttp http;
  const std::string fits = Repeat('p', NHttp::kMaxCredentials - 6);  // "admin:" + 168
  EXPECT_TRUE(http.SetServer("h", 80, "admin", fits.c_str()));
  const std::string line = http.authorization_line();
  EXPECT_EQ(line.size(), NHttp::kAuthorizationSize - 1u);
  EXPECT_EQ(line.substr(line.size() - 2), "\r\n");

  EXPECT_FALSE(http.SetServer("h", 80, "admin", (fits + "p").c_str()));
  EXPECT_STREQ(http.authorization_line(), "");
}

TEST(NHttpHeader, ReplyInSmallSegmentsIsGatheredAndBodyServedFirst) {
  const std::string body = "0123456789abcdefghijklmnopqrstuvwxyz";
  ScriptedServer server(ScriptedServer::Segments(
      Reply("HTTP/1.1 200 OK", "Content-Length: 36\r\nX-Long: " + Repeat('v', 200) + "\r\n") + body,
      7, 2));
  NHttp http;
  const char* header = nullptr;
  ASSERT_EQ(Exchange(&http, server, &header), 200);
  EXPECT_EQ(std::string(header).substr(std::strlen(header) - 2), "\r\n");
  EXPECT_EQ(std::string(header).find("\r\n\r\n"), std::string::npos);
  char got[40] = {};
  const int first = http.ReadSome(got, 3);
  EXPECT_GT(first, 0);
  EXPECT_EQ(http.ReadExact(got + first, 36 - first), 36 - first);
  EXPECT_EQ(std::string(got), body);
  EXPECT_EQ(http.ReadSome(got, 1), 0);  // the server closed after the body
}

TEST(NHttpHeader, HeaderWithoutBlankLineWithin8191BytesFails) {
  ScriptedServer server({{"HTTP/1.1 200 OK\r\n" + Repeat('h', 8191 - 17)}}, true);
  NHttp http;
  const char* header = nullptr;
  EXPECT_EQ(Exchange(&http, server, &header), -1);
}

TEST(NHttpHeader, PeerClosingBeforeBlankLineGivesZero) {
  ScriptedServer server({{"HTTP/1.1 200 OK\r\nContent-Le"}});
  NHttp http;
  const char* header = nullptr;
  EXPECT_EQ(Exchange(&http, server, &header), 0);
  EXPECT_EQ(http.last_error(), 0);
}

TEST(NHttpHeader, StatusCodeIsParsedFromTheStatusLine) {
  struct Case {
    std::string reply;
    int status;
  } cases[] = {
      {"HTTP/1.0 401 Unauthorized\r\n\r\n", 401},
      {"junk HTTP/1.1 404 Not Found\r\n\r\n", 404},
      {"HTTP/1.1  200\r\n\r\n", 200},
      {"HTTP/1.1 OK\r\n\r\n", -1},             // no number after the space
      {"ICY 200 OK\r\n\r\n", -1},              // no HTTP/ at all
      {"HTTP/1.1 4294967496 OK\r\n\r\n", -1},  // 2^32 + 200 must not pass for 200
      {"HTTP/1.1 200OK\r\n\r\n", -1},
      {"HTTP/1.1 0 OK\r\n\r\n", -1},  // 0 would read as "closed"
      {"HTTP/1.1 -1 X\r\n\r\n", -1},
      {"HTTP/1.1\r\nX-Count: 200 apples\r\n\r\n", -1},  // not borrowed from a later line
      {"HTTP/1.1 200 OK\r\nA: \0\r\nContent-Length: 5\r\n\r\n"s, -1},
  };
  for (const Case& c : cases) {
    ScriptedServer server({{c.reply}});
    NHttp http;
    const char* header = nullptr;
    EXPECT_EQ(Exchange(&http, server, &header), c.status) << c.reply.c_str();
  }
}

TEST(NHttpBody, ReadsRejectNonPositiveSizes) {
  NHttp http;
  char c;
  EXPECT_EQ(http.ReadSome(&c, 0), -1);
  EXPECT_EQ(http.ReadExact(&c, -1), -1);
}

TEST(NHttpBody, ReadExactReportsPeerClosingEarly) {
  ScriptedServer server({{Reply("HTTP/1.1 200 OK") + "abc"}});
  NHttp http;
  const char* header = nullptr;
  ASSERT_EQ(Exchange(&http, server, &header), 200);
  char got[10];
  EXPECT_EQ(http.ReadExact(got, 10), 0);
}

TEST(NHttpConnect, UnreachableServerFailsTheSend) {
  NHttp http;
  EXPECT_EQ(http.SendGetRequest("/x"), -1);  // no server set
  http.SetServer("1nohost", 80, nullptr, nullptr);
  EXPECT_EQ(http.SendGetRequest("/x"), -1);
}

TEST(FindHeaderValue, FindsValuesOnHeaderLines) {
  const char* v = nullptr;
  int n = 0;
  ASSERT_TRUE(FindHeaderValue("Content-Type: multipart/x-mixed-replace;boundary=abc\r\n",
                              "boundary", '=', &v, &n));
  EXPECT_EQ(std::string(v, n), "abc");
  ASSERT_TRUE(
      FindHeaderValue("A: 1\r\nContent-Length: 512\r\nB: 2\r\n", "Content-Length", ':', &v, &n));
  EXPECT_EQ(std::string(v, n), " 512");  // leading blank kept
  EXPECT_FALSE(FindHeaderValue("content-length: 5\r\n", "Content-Length", ':', &v, &n));
  EXPECT_FALSE(FindHeaderValue("Content-Length 5\r\n", "Content-Length", ':', &v, &n));
  EXPECT_FALSE(FindHeaderValue("Content-Length: 5", "Content-Length", ':', &v, &n));
  // The separator search starts after the name's first character, not after the name.
  ASSERT_TRUE(FindHeaderValue("--b\r\nLen: 7\r\n", "--b", '\n', &v, &n));
  EXPECT_EQ(std::string(v, n), "Len: 7");
}

TEST(ParseDecimal, TakesOnlyABlankFramedNumberThatFits) {
  struct Case {
    std::string text;
    int max;
    int value;  // -1: refused
  } cases[] = {
      {"512", 1000, 512},
      {" \t 512 \t", 1000, 512},
      {"0", 0, 0},
      {"524288", 524288, 524288},
      {"524289", 524288, -1},
      {"2147483647", 2147483647, 2147483647},
      {"2147483648", 2147483647, -1},
      {"4294967301", 2147483647, -1},  // 2^32 + 5: refused, not 5
      {"", 10, -1},
      {"+5", 10, -1},
      {"-1", 10, -1},
      {"5x", 10, -1},
      {"5 6", 100, -1},
      {"5\r", 10, -1},
      {"5\0"s, 10, -1},
  };
  for (const Case& c : cases) {
    int value = -1;
    const bool ok = ParseDecimal(c.text.data(), static_cast<int>(c.text.size()), c.max, &value);
    EXPECT_EQ(ok, c.value >= 0) << c.text.c_str();
    EXPECT_EQ(value, c.value) << c.text.c_str();  // untouched when refused
  }
  int value = -1;
  EXPECT_FALSE(ParseDecimal("512\r\n", 3, -1, &value));  // no number fits a negative max
  EXPECT_TRUE(ParseDecimal("512\r\n", 3, 512, &value));  // the length ends the text
  EXPECT_EQ(value, 512);
}

}  // namespace
