#include "net/socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

// A listening socket on 127.0.0.1 that the test accepts from by hand.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 4);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~Listener() { close(fd_); }
  uint16_t port() const { return port_; }
  int Accept() { return accept(fd_, nullptr, nullptr); }

 private:
  int fd_;
  uint16_t port_;
};

// True when the peer of `fd` has closed its end within one second.
bool PeerClosed(int fd) {
  pollfd p{fd, POLLIN, 0};
  char c;
  return poll(&p, 1, 1000) == 1 && recv(fd, &c, 1, 0) == 0;
}

// A port on 127.0.0.1 that nothing listens on.
uint16_t ClosedPort() {
  Listener l;
  return l.port();  // closed again when `l` goes
}

TEST(NSocketConnect, ConnectsToListeningPortAndStaysBlocking) {
  Listener server;
  NSocket s;
  ASSERT_TRUE(s.Connect("127.0.0.1", server.port()));
  EXPECT_EQ(s.family(), AF_INET);
  EXPECT_EQ(s.type(), 1);
  const int peer = server.Accept();
  ASSERT_GE(peer, 0);
  ASSERT_EQ(send(peer, "hi", 2, 0), 2);
  char buf[4] = {};
  EXPECT_EQ(s.Receive(buf, sizeof buf), 2);  // a non-blocking socket could return -1 here
  EXPECT_STREQ(buf, "hi");
  close(peer);
}

TEST(NSocketConnect, RefusedPortFailsWithoutWaitingForTheTimeout) {
  const uint16_t port = ClosedPort();
  NSocket s;
  EXPECT_FALSE(s.Connect("127.0.0.1", port));
  // A refusal is an answer, not a silent peer: it ends the 3-second wait
  // as a refusal, not as a time-out.
  EXPECT_EQ(NSocket::LastError(), ECONNREFUSED);
  EXPECT_FALSE(s.IsOpen());
}

TEST(NSocketConnect, HostStartingWithDigitIsNumericOnly) {
  Listener server;
  NSocket s;
  EXPECT_FALSE(s.Connect("1camera.invalid", server.port()));
  EXPECT_FALSE(s.Connect("127.0.0.1.5", server.port()));
  EXPECT_TRUE(s.Connect("localhost", server.port()));  // names still resolve
}

TEST(NSocketConnect, SecondConnectClosesTheFirstConnection) {
  Listener server;
  NSocket s;
  ASSERT_TRUE(s.Connect("127.0.0.1", server.port()));
  const int first = server.Accept();
  ASSERT_TRUE(s.Connect("127.0.0.1", server.port()));
  const int second = server.Accept();
  EXPECT_TRUE(PeerClosed(first));
  EXPECT_FALSE(PeerClosed(second));
  // Also when the new attempt fails.
  EXPECT_FALSE(s.Connect("127.0.0.1", ClosedPort()));
  EXPECT_TRUE(PeerClosed(second));
  close(first);
  close(second);
}

TEST(NSocketConnect, ShutdownAndCloseMarksTheSocketClosed) {
  Listener server;
  NSocket s;
  ASSERT_TRUE(s.Connect("127.0.0.1", server.port()));
  const int peer = server.Accept();
  s.ShutdownAndClose();
  EXPECT_EQ(s.handle(), -1);
  EXPECT_TRUE(PeerClosed(peer));
  char c;
  EXPECT_EQ(s.Receive(&c, 1), -1);
  EXPECT_EQ(s.Send("x", 1), -1);
  close(peer);
}

TEST(NSocketErrors, ErrorTextIsEnglish) {
  char text[64];
  NSocket::ErrorText(ECONNREFUSED, text, sizeof text);
  EXPECT_STREQ(text, "Connection refused");
  NSocket::ErrorText(EAGAIN, text, 8);  // cut to its field
  EXPECT_STREQ(text, "Resourc");
}

}  // namespace
