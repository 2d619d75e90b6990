// The neighbour probe on Linux. The kernel resolves a link-layer address only
// when something is sent there, so one datagram to the discard port starts
// it; whether anyone answered is then read from the kernel's neighbour table
// over rtnetlink, which any user may dump. The table is per network
// namespace, and so are the sockets: a thread moved into another namespace
// probes there.
#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "discovery/neighbour_probe.h"
#include "discovery/socket_guard.h"
#include "thread/clock.h"

namespace {

using std::chrono::milliseconds;

constexpr uint16_t kDiscardPort = 9;
constexpr milliseconds kPoll{10};
// Entries that hold an address someone answered from (recently, for STALE).
constexpr uint16_t kAnsweredStates = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PERMANENT;

// What the neighbour table says about one address.
struct Entry {
  bool answered = false;  // complete, with a link-layer address
  bool failed = false;    // the kernel gave up resolving it
  MacAddress mac{};
};

bool SendDump(int fd) {
  struct {
    nlmsghdr header;
    ndmsg body;
  } request{};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = RTM_GETNEIGH;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.body.ndm_family = AF_INET;
  return send(fd, &request, sizeof request, 0) == static_cast<ssize_t>(sizeof request);
}

// Fills `entry` when `message` is the entry of `address` on `ifindex`.
bool ReadEntry(const nlmsghdr* message, int ifindex, uint32_t address, Entry* entry) {
  if (message->nlmsg_type != RTM_NEWNEIGH || message->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
    return false;
  const auto* body = static_cast<const ndmsg*>(NLMSG_DATA(message));
  if (body->ndm_family != AF_INET || body->ndm_ifindex != ifindex) return false;
  bool match = false, has_mac = false;
  int length = static_cast<int>(message->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
  for (const rtattr* attr = RTM_RTA(body); RTA_OK(attr, length); attr = RTA_NEXT(attr, length)) {
    if (attr->rta_type == NDA_DST && RTA_PAYLOAD(attr) == 4) {
      match = std::memcmp(RTA_DATA(attr), &address, 4) == 0;
    } else if (attr->rta_type == NDA_LLADDR && RTA_PAYLOAD(attr) == entry->mac.size()) {
      std::memcpy(entry->mac.data(), RTA_DATA(attr), entry->mac.size());
      has_mac = true;
    }
  }
  if (!match) return false;
  entry->answered = has_mac && (body->ndm_state & kAnsweredStates) != 0;
  entry->failed = (body->ndm_state & NUD_FAILED) != 0;
  return true;
}

// The table's entry for `address` on `ifindex`; nullopt when it has none or
// cannot be read.
std::optional<Entry> Lookup(int ifindex, uint32_t address) {
  SocketGuard fd(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (fd.fd() < 0 || !SendDump(fd.fd())) return std::nullopt;
  std::optional<Entry> found;
  alignas(nlmsghdr) char buffer[16384];
  for (;;) {
    const ssize_t got = recv(fd.fd(), buffer, sizeof buffer, 0);
    if (got <= 0) return found;
    int left = static_cast<int>(got);
    for (auto* m = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(m, left);
         m = NLMSG_NEXT(m, left)) {
      if (m->nlmsg_type == NLMSG_DONE || m->nlmsg_type == NLMSG_ERROR) return found;
      Entry entry;
      if (!found && ReadEntry(m, ifindex, address, &entry)) found = entry;
    }
  }
}

// One datagram from the adapter's address, on the adapter's link where the
// system allows tying it there (a second adapter on the same subnet would
// otherwise carry it).
bool SendDatagram(const AdapterEntry& adapter, uint32_t candidate) {
  SocketGuard fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (fd.fd() < 0) return false;
  const size_t name_length = strnlen(adapter.name, sizeof adapter.name);
  if (name_length > 0 && name_length < sizeof adapter.name)
    setsockopt(fd.fd(), SOL_SOCKET, SO_BINDTODEVICE, adapter.name,
               static_cast<socklen_t>(name_length));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = ParseDottedAddress(adapter.ipAddress);
  if (bind(fd.fd(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return false;
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(kDiscardPort);
  target.sin_addr.s_addr = candidate;
  const char byte = 0;
  return sendto(fd.fd(), &byte, 1, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&target),
                sizeof target) == 1;
}

class LinuxNeighbourProbe : public NeighbourProbe {
 public:
  explicit LinuxNeighbourProbe(Clock& clock) : clock_(clock) {}

  std::optional<MacAddress> WhoAnswers(const AdapterEntry& adapter, uint32_t candidate,
                                       milliseconds wait, const UWakeup* stop) override {
    std::optional<Entry> entry = Lookup(adapter.index, candidate);
    if (entry && entry->answered) return entry->mac;
    if (!SendDatagram(adapter, candidate)) return std::nullopt;
    const Clock::TimePoint end = clock_.Now() + wait;
    for (;;) {
      // Read before the table: an answer that came in time is seen even when
      // this thread ran late.
      const auto left = std::chrono::duration_cast<milliseconds>(end - clock_.Now());
      entry = Lookup(adapter.index, candidate);
      if (entry && entry->answered) return entry->mac;
      if ((entry && entry->failed) || left <= milliseconds(0)) return std::nullopt;
      if (!clock_.Sleep(std::min(kPoll, left), stop)) return std::nullopt;
    }
  }

 private:
  Clock& clock_;
};

}  // namespace

std::unique_ptr<NeighbourProbe> MakeLinuxNeighbourProbe(Clock& clock) {
  return std::make_unique<LinuxNeighbourProbe>(clock);
}
