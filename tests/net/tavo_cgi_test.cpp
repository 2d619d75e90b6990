#include "net/tavo_cgi.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/scripted_server.h"

namespace {

using testsupport::Reply;
using testsupport::ScriptedServer;

constexpr char kStreamHead[] = "Content-Type: multipart/x-mixed-replace;boundary=frm\r\n";

std::string Part(const std::string& content, const std::string& length_header = "Content-Length") {
  return "--frm\r\nContent-Type: image/jpeg\r\n" + length_header + ": " +
         std::to_string(content.size()) + "\r\n\r\n" + content + "\r\n";
}

// Content whose bytes tell their position, so a shifted copy shows.
std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
  return s;
}

void Point(NTavoCGI* cgi, const ScriptedServer& server) {
  cgi->http().SetServer("127.0.0.1", server.port(), "admin", "kerut");
}

// Opens a stream on a server that sends `parts` after the reply header.
struct StreamFixture {
  explicit StreamFixture(const std::string& parts, const char* head = kStreamHead)
      : server({{Reply("HTTP/1.1 200 OK", head) + parts}}), cgi(true) {
    Point(&cgi, server);
  }
  ScriptedServer server;
  NTavoCGI cgi;
};

TEST(NTavoCGICommands, RequestPathsAreTheCameraOnes) {
  ScriptedServer server({{Reply("HTTP/1.1 200 OK")}});
  NTavoCGI cgi(false);
  Point(&cgi, server);
  ASSERT_NE(cgi.QueryIPAddress(), nullptr);
  EXPECT_EQ(server.last_request().rfind(
                "GET /cgi/admin/param.cgi?action=list&group=Network&name=IPAddress HTTP/1.1", 0),
            0u);
  ASSERT_NE(cgi.UpdateAdminPassword("New1"), nullptr);
  EXPECT_EQ(server.last_request().rfind(
                "GET /cgi/admin/pwdgrp.cgi?action=update&user=admin&pwd=New1&grp=admin ", 0),
            0u);
  ASSERT_NE(cgi.UpdateAdminPassword(nullptr), nullptr);
  EXPECT_EQ(server.last_request().rfind(
                "GET /cgi/admin/pwdgrp.cgi?action=update&user=admin&grp=admin ", 0),
            0u);
}

TEST(NTavoCGICommands, ContentLengthDecidesTheTextReply) {
  struct Case {
    std::string reply;
    const char* expected;  // null: the command fails
  } cases[] = {
      {Reply("HTTP/1.1 200 OK"), ""},  // no Content-Length: empty success
      {Reply("HTTP/1.1 200 OK", "content-length: 5\r\n") + "hello", ""},
      {Reply("HTTP/1.1 200 OK", "Content-Length: 5\r\n") + "hello", "hello"},
      {Reply("HTTP/1.1 200 OK", "Content-Length: 9\r\n") + "hello", nullptr},  // short body
      {Reply("HTTP/1.1 200 OK", "Content-Length: x\r\n"), nullptr},
      {Reply("HTTP/1.1 200 OK", "Content-Length: -1\r\n"), nullptr},
      {Reply("HTTP/1.1 200 OK", "Content-Length: 4294967301\r\n") + "hello", nullptr},  // 2^32+5
      {Reply("HTTP/1.1 200 OK", "Content-Length: 5x\r\n") + "hello", nullptr},
      {Reply("HTTP/1.1 200 OK", "Content-Length:\t5 \r\n") + "hello", "hello"},
      {Reply("HTTP/1.1 401 Unauthorized", "Content-Length: 0\r\n"), nullptr},
  };
  for (const Case& c : cases) {
    ScriptedServer server({{c.reply}});
    NTavoCGI cgi(false);
    Point(&cgi, server);
    const char* text = cgi.QueryIPAddress();
    if (c.expected)
      EXPECT_STREQ(text, c.expected) << c.reply;
    else
      EXPECT_EQ(text, nullptr) << c.reply;
  }
}

TEST(NTavoCGICommands, ReplyAreaTakes16383BytesButNot16384) {
  const std::string body = Pattern(16384);
  {
    ScriptedServer server(ScriptedServer::Segments(
        Reply("HTTP/1.1 200 OK", "Content-Length: 16383\r\n") + body.substr(0, 16383), 4000, 1));
    NTavoCGI cgi(false);
    Point(&cgi, server);
    const char* text = cgi.QueryIPAddress();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), body.substr(0, 16383));
  }
  ScriptedServer server({{Reply("HTTP/1.1 200 OK", "Content-Length: 16384\r\n") + body}});
  NTavoCGI cgi(false);
  Point(&cgi, server);
  EXPECT_EQ(cgi.QueryIPAddress(), nullptr);
}

TEST(NTavoCGIStreamOpen, BoundaryMustFitItsField) {
  const std::string b127(127, 'b');
  {
    const std::string head = "Content-Type: multipart/x-mixed-replace;boundary=" + b127 + "\r\n";
    StreamFixture f("", head.c_str());
    ASSERT_TRUE(f.cgi.OpenVideoStream());
    EXPECT_EQ(std::string(f.cgi.boundary()), b127);
  }
  const char* refused[] = {"Content-Type: multipart/x-mixed-replace;boundary=b" /* + 127 */,
                           "X: boundary=\r\n", "Content-Type: multipart/x-mixed-replace\r\n"};
  const std::string long_head = refused[0] + b127 + "\r\n";
  for (const char* head : {long_head.c_str(), refused[1], refused[2]}) {
    StreamFixture f("", head);
    EXPECT_FALSE(f.cgi.OpenAudioStream()) << head;
  }
  ScriptedServer server({{Reply("HTTP/1.1 200 OK", kStreamHead)}});
  NTavoCGI no_pool(false);
  Point(&no_pool, server);
  EXPECT_FALSE(no_pool.OpenVideoStream());
  EXPECT_EQ(server.connections(), 0);  // refused before any request
}

TEST(NTavoCGIStreamParts, ContentLengthRange) {
  struct Case {
    size_t length;
    int result;
  } cases[] = {{0, -1}, {1, 1}, {524288, 524288}, {524289, -1}};
  for (const Case& c : cases) {
    const std::string content = Pattern(c.length);
    StreamFixture f(Part(content));
    ASSERT_TRUE(f.cgi.OpenVideoStream());
    std::unique_ptr<NTavoMediaSample> sample;
    EXPECT_EQ(f.cgi.ReadStreamFrame(&sample), c.result) << c.length;
    if (c.result > 0) {
      ASSERT_NE(sample, nullptr);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(sample->block()), c.length), content);
    } else {
      EXPECT_EQ(sample, nullptr);
    }
  }
}

TEST(NTavoCGIStreamParts, PartsFollowOneAnotherIntact) {
  // The second part's content arrives together with its header; the first's
  // media header and payload are split where the camera puts them.
  const std::string big = Pattern(5000), small = "0123456789012345678901234567xyz";
  StreamFixture f(Part(big) + Part(small) + Part(big));
  ASSERT_TRUE(f.cgi.OpenVideoStream());
  std::unique_ptr<NTavoMediaSample> s;
  ASSERT_EQ(f.cgi.ReadStreamFrame(&s), 5000);
  EXPECT_EQ(s->GetPayloadLength(), 5000 - 28);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s->GetPayload()), 4972), big.substr(28));
  s.reset();
  ASSERT_EQ(f.cgi.ReadStreamFrame(&s), 31);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s->GetPayload()), 3), "xyz");
  s.reset();
  ASSERT_EQ(f.cgi.ReadStreamFrame(&s), 5000);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s->block()), 5000), big);
  s.reset();
  EXPECT_EQ(f.cgi.ReadStreamFrame(&s), 0);  // the server closed
}

TEST(NTavoCGIStreamParts, MalformedPartHeaders) {
  struct Case {
    std::string part;
    int result;
  } cases[] = {
      {"--other\r\nContent-Length: 3\r\n\r\nabc", 0},              // no boundary: skipped
      {Part("abc", "content-length"), -1},                         // lower-case length
      {"--frm\r\nContent-Length: 4294967299\r\n\r\nabc\r\n", -1},  // 2^32 + 3
      {"--frm\r\nContent-Length: 3;\r\n\r\nabc\r\n", -1},
      {std::string("\0\xff\0junk\r\n", 9) + Part("abc"), 3},  // leftovers in front
      {"--frm\r\nContent-Type: image/jpeg\r\n" + std::string(16400, 'h'), -1},
  };
  for (const Case& c : cases) {
    StreamFixture f(c.part);
    ASSERT_TRUE(f.cgi.OpenVideoStream());
    std::unique_ptr<NTavoMediaSample> sample;
    EXPECT_EQ(f.cgi.ReadStreamFrame(&sample), c.result) << c.part.substr(0, 40);
    EXPECT_EQ(sample != nullptr, c.result > 0);
  }
}

TEST(NTavoCGIStreamParts, StreamCanBeReadFromAConnectionMadeElsewhere) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  const std::string bytes = Reply("HTTP/1.1 200 OK", kStreamHead) + Part("abc");
  ASSERT_EQ(write(fds[0], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(fds[0]);
  NTavoCGI cgi(true);
  ASSERT_TRUE(cgi.http().socket().Adopt(fds[1]));
  ASSERT_TRUE(cgi.ReadStreamReply());
  EXPECT_STREQ(cgi.boundary(), "frm");
  std::unique_ptr<NTavoMediaSample> sample;
  EXPECT_EQ(cgi.ReadStreamFrame(&sample), 3);
  EXPECT_EQ(cgi.ReadStreamFrame(&sample), 0);
  EXPECT_TRUE(cgi.StreamBroken());
}

TEST(NTavoCGIStreamParts, FullPoolWaitsUntilTheConsumerFreesRoom) {
  StreamFixture f(Part(Pattern(300000)));
  ASSERT_TRUE(f.cgi.OpenVideoStream());
  // Two samples held by the consumer leave no room for a third large one.
  auto a = f.cgi.pool()->NewSample(400000);
  auto b = f.cgi.pool()->NewSample(400000);
  ASSERT_TRUE(a && b);
  std::thread consumer([&a] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    a.reset();
  });
  testing::internal::CaptureStdout();
  std::unique_ptr<NTavoMediaSample> s;
  const int r = f.cgi.ReadStreamFrame(&s);
  const std::string printed = testing::internal::GetCapturedStdout();
  consumer.join();
  EXPECT_EQ(r, 300000);
  EXPECT_EQ(printed.rfind("Network===:Mem Full\n", 0), 0u);
  EXPECT_EQ(printed.size() % 20, 0u);
}

}  // namespace
