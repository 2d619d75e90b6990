// The discovery transport on Linux sockets. A socket bound to the adapter's own
// address never sees broadcast replies, and a camera on another subnet can
// often only broadcast; so the socket is bound to INADDR_ANY with port 0 and
// tied to the adapter's interface with SO_BINDTODEVICE, which receives both
// unicast and broadcast replies arriving there. The request leaves with the
// adapter's first address as its source (IP_PKTINFO); when that address is no
// longer assigned, nothing is sent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "discovery/discovery_transport.h"
#include "discovery/socket_guard.h"
#include "thread/wakeup.h"

namespace {

constexpr int kTimeoutMs = 1000;

bool SetIntOption(int fd, int option, int value) {
  return setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

bool SetTimeout(int fd, int option, int ms) {
  timeval value{ms / 1000, (ms % 1000) * 1000};
  return setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

// Beyond the system's limit when privileged; a smaller buffer is no reason to
// give up.
void RaiseReceiveBuffer(int fd, int bytes) {
  if (!SetIntOption(fd, SO_RCVBUFFORCE, bytes)) SetIntOption(fd, SO_RCVBUF, bytes);
}

bool ConfigureSocket(int fd, const AdapterEntry& adapter, int receive_buffer_bytes) {
  if (!SetIntOption(fd, SO_BROADCAST, 1) || !SetTimeout(fd, SO_SNDTIMEO, kTimeoutMs) ||
      !SetTimeout(fd, SO_RCVTIMEO, kTimeoutMs) || !SetIntOption(fd, SO_REUSEADDR, 1))
    return false;
  RaiseReceiveBuffer(fd, receive_buffer_bytes);
  SetIntOption(fd, SO_RXQ_OVFL, 1);  // counts the answers a full buffer loses
  const size_t nameLength = strnlen(adapter.name, sizeof adapter.name);
  if (nameLength == 0 || nameLength == sizeof adapter.name) return false;
  if (setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, adapter.name,
                 static_cast<socklen_t>(nameLength)) != 0)
    return false;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = 0;
  return bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool SendBroadcast(int fd, const AdapterEntry& adapter, const uint8_t* request, size_t length) {
  const std::optional<uint32_t> source = ParseDottedQuad(
      std::string_view(adapter.ipAddress, strnlen(adapter.ipAddress, sizeof adapter.ipAddress)));
  if (!source) return false;

  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  destination.sin_port = htons(kDiscoveryPort);
  iovec part{const_cast<uint8_t*>(request), length};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = &destination;
  message.msg_namelen = sizeof destination;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  // Interface 0 (the socket's device), then the source address to use.
  const in_pktinfo info{0, {*source}, {}};
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
  return sendmsg(fd, &message, 0) == static_cast<ssize_t>(length);
}

class SocketExchange : public DiscoveryTransport::Exchange {
 public:
  SocketExchange(int fd, const AdapterEntry& adapter, const UWakeup* stop)
      : socket_(fd), adapter_(adapter), stop_fd_(stop ? stop->fd() : -1) {}

  bool Send(const uint8_t* request, size_t length) override {
    return SendBroadcast(socket_.fd(), adapter_, request, length);
  }

  // Waits on the socket and on the stop together.
  long Receive(uint8_t* buffer, size_t size, DiscoveryTransport::Clock::time_point deadline,
               uint32_t* source) override {
    for (;;) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - DiscoveryTransport::Clock::now());
      // poll skips a descriptor of -1.
      pollfd entries[2] = {{socket_.fd(), POLLIN, 0}, {stop_fd_, POLLIN, 0}};
      const int ready = poll(entries, 2, left.count() > 0 ? static_cast<int>(left.count()) : 0);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0 || entries[1].revents != 0) return kEnded;
      if (ready == 0) return kTimedOut;
      if (!(entries[0].revents & POLLIN)) return kEnded;
      // MSG_TRUNC gives the datagram's real length; the name its sender,
      // which a camera's reply must match; the control data the socket's
      // drop counter (SO_RXQ_OVFL).
      iovec part{buffer, size};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(uint32_t))] = {};
      sockaddr_in sender{};
      msghdr message{};
      message.msg_name = &sender;
      message.msg_namelen = sizeof sender;
      message.msg_iov = &part;
      message.msg_iovlen = 1;
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      const ssize_t got = recvmsg(socket_.fd(), &message, MSG_TRUNC);
      if (got < 0) continue;
      for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL)
          std::memcpy(&dropped_, CMSG_DATA(c), sizeof dropped_);
      }
      *source = sender.sin_family == AF_INET ? sender.sin_addr.s_addr : 0;
      return static_cast<long>(got);
    }
  }
  uint32_t Dropped() const override { return dropped_; }

 private:
  static constexpr long kEnded = DiscoveryTransport::kEnded;
  static constexpr long kTimedOut = DiscoveryTransport::kTimedOut;

  SocketGuard socket_;
  const AdapterEntry adapter_;
  const int stop_fd_;  // the owner's wake-up, or -1
  uint32_t dropped_ = 0;
};

class SystemTransport : public DiscoveryTransport {
 public:
  SystemTransport(int receive_buffer_bytes, ::Clock& clock)
      : DiscoveryTransport(clock), receive_buffer_bytes_(receive_buffer_bytes) {}
  std::unique_ptr<Exchange> Broadcast(const AdapterEntry& adapter, const uint8_t* request,
                                      size_t length) override {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    auto exchange = std::make_unique<SocketExchange>(fd, adapter, StopSignal());
    if (!ConfigureSocket(fd, adapter, receive_buffer_bytes_) || !exchange->Send(request, length))
      return nullptr;
    return exchange;
  }

 private:
  const int receive_buffer_bytes_;
};

}  // namespace

std::unique_ptr<DiscoveryTransport> MakeSystemDiscoveryTransport(int receive_buffer_bytes,
                                                                 ::Clock& clock) {
  return std::make_unique<SystemTransport>(receive_buffer_bytes, clock);
}

int DiscoveryReceiveBufferSize() {
  SocketGuard socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (socket.fd() < 0) return -1;
  RaiseReceiveBuffer(socket.fd(), kDiscoveryReceiveBufferBytes);
  int size = 0;
  socklen_t length = sizeof size;
  if (getsockopt(socket.fd(), SOL_SOCKET, SO_RCVBUF, &size, &length) != 0) return -1;
  return size;
}
