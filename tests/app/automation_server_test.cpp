#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "app/automation_request.h"
#include "app/automation_server_linux.h"
#include "support/medium_dir.h"

namespace {

int Connect(const std::string& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string ReadLines(int fd, int lines) {
  std::string text;
  char c;
  while (lines > 0 && recv(fd, &c, 1, 0) == 1) {
    text.push_back(c);
    if (c == '\n') --lines;
  }
  return text;
}

TEST(AutomationServer, AnswersEachLineInOrderOnAPrivateSocket) {
  MediumDir dir;
  const std::string path = dir.Root() + "auto.sock";
  AutomationServer server(
      path, [](const std::string& line, AutomationServer::Reply reply) { reply("echo:" + line); });
  ASSERT_TRUE(server.Listen());
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_TRUE(server.Start());
  int fd = Connect(path);
  ASSERT_GE(fd, 0);
  // Two requests in one write, the second split over two writes; empty lines
  // are skipped.
  const char first[] = "{\"cmd\":\"page\"}\n\n{\"cmd\":";
  ASSERT_EQ(send(fd, first, sizeof(first) - 1, 0), static_cast<ssize_t>(sizeof(first) - 1));
  ASSERT_EQ(send(fd, "\"live\"}\n", 8, 0), 8);
  EXPECT_EQ(ReadLines(fd, 2), "echo:{\"cmd\":\"page\"}\necho:{\"cmd\":\"live\"}\n");
  // A line too long to take is answered with an error and dropped to its
  // end; the next line is served.
  const std::string huge(kMaxAutomationLine + 4096, 'x');
  ASSERT_EQ(send(fd, huge.data(), huge.size(), 0), static_cast<ssize_t>(huge.size()));
  ASSERT_EQ(send(fd, "tail\n{}\n", 8, 0), 8);
  EXPECT_EQ(ReadLines(fd, 2), "{\"error\":\"request too long\",\"ok\":false}\necho:{}\n");
  close(fd);
  // The next client is served after the first has gone.
  fd = Connect(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(send(fd, "x\n", 2, 0), 2);
  EXPECT_EQ(ReadLines(fd, 1), "echo:x\n");
  close(fd);
}

TEST(AutomationServer, StopsWhileARequestWaitsForAnAnswer) {
  MediumDir dir;
  const std::string path = dir.Root() + "auto.sock";
  std::atomic<int> requests{0};
  {
    // The UI thread has left its loop: nothing ever answers.
    AutomationServer server(path, [&](const std::string&, AutomationServer::Reply) { requests++; });
    ASSERT_TRUE(server.Listen());
    ASSERT_TRUE(server.Start());
    int fd = Connect(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(send(fd, "{\"cmd\":\"page\"}\n", 15, 0), 15);
    while (requests.load() == 0) std::this_thread::yield();
    close(fd);
  }  // the destructor must return
  EXPECT_EQ(requests.load(), 1);
  EXPECT_NE(access(path.c_str(), F_OK), 0);  // the socket file is gone
}

// Only a socket nobody listens on any more is replaced: a file and a live
// socket at the path are kept.
TEST(AutomationServer, ReplacesOnlyAStaleSocketAtItsPath) {
  MediumDir dir;
  const std::string path = dir.Root() + "auto.sock";
  auto echo = [](const std::string& line, AutomationServer::Reply reply) { reply(line); };
  std::string error;
  std::ofstream(path) << "the user's";
  EXPECT_FALSE(AutomationServer(path, echo).Listen(&error));
  EXPECT_EQ(error, "the path exists and is not a socket");
  std::ifstream kept(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "the user's");
  std::filesystem::remove(path);
  {
    AutomationServer live(path, echo);
    ASSERT_TRUE(live.Listen());
    EXPECT_FALSE(AutomationServer(path, echo).Listen(&error));
    EXPECT_EQ(error, "another program listens on the socket");
  }
  // Left by a program that was killed: bound, never listened on.
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
  int stale = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  close(stale);
  EXPECT_TRUE(AutomationServer(path, echo).Listen());
}

TEST(AutomationServer, ListenFailsForPathTooLongForASocket) {
  AutomationServer server("/tmp/" + std::string(200, 'x'),
                          [](const std::string&, AutomationServer::Reply reply) { reply(""); });
  EXPECT_FALSE(server.Listen());
}

// Whatever a client sends, the answer is a request or a clear error.
TEST(AutomationRequest, EveryMalformedRequestGetsAnError) {
  const std::pair<const char*, const char*> cases[] = {
      {"not json", "not JSON"},
      {"[1,2]", "not a JSON object"},
      {"\"page\"", "not a JSON object"},
      {"{}", "\"cmd\" must be a string"},
      {"{\"cmd\":7}", "\"cmd\" must be a string"},
      {"{\"cmd\":\"fly\"}", "unknown command"},
      {"{\"cmd\":\"click\"}", "missing \"id\""},
      {"{\"cmd\":\"click\",\"id\":3}", "\"id\" must be a string"},
      {"{\"cmd\":\"set\",\"id\":\"a\"}", "missing \"value\""},
      {"{\"cmd\":\"check\",\"id\":\"a\",\"checked\":\"yes\"}", "\"checked\" must be a boolean"},
      {"{\"cmd\":\"eval\",\"js\":null}", "\"js\" must be a string"},
      {"{\"cmd\":\"dismiss\",\"button\":[]}", "\"button\" must be a string"},
      {"{\"cmd\":\"live-open\",\"button\":true}", "\"button\" must be a string"},
  };
  for (const auto& [line, error] : cases) {
    AutomationRequest request;
    std::string got;
    EXPECT_FALSE(ParseAutomationRequest(line, &request, &got)) << line;
    EXPECT_EQ(got, error) << line;
  }
  AutomationRequest request;
  std::string error;
  ASSERT_TRUE(ParseAutomationRequest(R"({"cmd":"check","id":"a","checked":true,"extra":1})",
                                     &request, &error));
  EXPECT_EQ(request.id, "a");
  EXPECT_TRUE(request.checked);
  ASSERT_TRUE(ParseAutomationRequest(R"({"cmd":"dismiss"})", &request, &error));  // OK
  EXPECT_EQ(request.button, "");
  EXPECT_FALSE(ParseAutomationRequest(std::string(kMaxAutomationLine + 1, ' '), &request, &error));
  EXPECT_EQ(AutomationErrorReply("bad \xff"), "{\"error\":\"bad \xef\xbf\xbd\",\"ok\":false}");
}

}  // namespace
