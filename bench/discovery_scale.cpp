// Many cameras answering one search: how many the finder reports through one
// adapter, and the receive buffer its socket got, as root and as an
// unprivileged user. Builds its own network namespaces (needs root) and
// removes them at the end; nothing is sent from the machine's own namespace.
//
//   bench_discovery_scale [--count N] [--runs N]
//   bench_discovery_scale --finder      (one search, run inside the pc namespace)
//   bench_discovery_scale --small-buffer BYTES   (the same on a plain socket of that size)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "discovery/discovery_wire.h"
#include "discovery/ip_finder_thread.h"
#include "discovery/transactions.h"
#include "support/vlan.h"

namespace {

// ---- finder side -----------------------------------------------------------

struct Tally {
  std::mutex mu;
  int records = 0;             // guarded by mu
  std::set<std::string> macs;  // guarded by mu
};

void OnFinderEvent(void* context, const void* data, int command, bool done) {
  if (done || command != kCommandSearch || !data) return;
  auto* tally = static_cast<Tally*>(context);
  const auto* record = static_cast<const CameraRecord*>(data);
  char mac[13];
  FormatMacText(record->header.macAddress, mac);
  std::lock_guard<std::mutex> lock(tally->mu);
  ++tally->records;
  tally->macs.insert(mac);
}

int RunFinder() {
  Tally tally;
  NTavoIPFinderThread finder(&OnFinderEvent, &tally);
  finder.commandCode = kCommandSearch;
  const auto start = std::chrono::steady_clock::now();
  if (!finder.Start() || !finder.WaitForEnd(-1)) return 1;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::lock_guard<std::mutex> lock(tally.mu);
  std::printf(
      "uid %d: %zu adapter(s), receive buffer %d bytes, %d replies reported, "
      "%zu distinct cameras, search took %.1f s\n",
      static_cast<int>(getuid()), finder.Adapters().size(), DiscoveryReceiveBufferSize(),
      tally.records, tally.macs.size(), seconds);
  return 0;
}

// The same search on a socket of a fixed, smaller receive buffer (the default
// limit of a stock system is 212992 bytes), read the same way: shows what
// raising the buffer buys.
int RunSmallBufferSearch(int bytes) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, "qa0", 3) != 0 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
    return 1;
  uint8_t request[kDiscoveryHeaderSize];
  BuildSearchRequest(request, sizeof request);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kDiscoveryPort);
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  std::set<std::string> macs;
  uint8_t reply[kMaxReplySize];
  pollfd entry{fd, POLLIN, 0};
  while (poll(&entry, 1, 5000) == 1) {
    const ssize_t got = recv(fd, reply, sizeof reply, MSG_TRUNC);
    if (got > 0 && IsSearchReply(reply, static_cast<size_t>(got))) {
      char mac[13];
      FormatMacText(reply + 17, mac);
      macs.insert(mac);
    }
  }
  int size = 0;
  socklen_t length = sizeof size;
  getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length);
  close(fd);
  std::printf("uid %d: plain socket asking for %d bytes got %d: %zu distinct cameras\n",
              static_cast<int>(getuid()), bytes, size, macs.size());
  return 0;
}

// ---- orchestration -------------------------------------------------------------

volatile sig_atomic_t g_interrupted = 0;

}  // namespace

int main(int argc, char** argv) {
  int count = 1000, runs = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--finder") return RunFinder();
    if (arg == "--small-buffer" && i + 1 < argc) return RunSmallBufferSearch(std::atoi(argv[++i]));
    if (arg == "--count" && i + 1 < argc)
      count = std::atoi(argv[++i]);
    else if (arg == "--runs" && i + 1 < argc)
      runs = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: %s [--count N] [--runs N]\n", argv[0]);
      return 2;
    }
  }
  if (geteuid() != 0) {
    std::fprintf(stderr, "needs root: it builds network namespaces for the cameras\n");
    return 1;
  }
  struct sigaction on_stop {};
  on_stop.sa_handler = [](int) { g_interrupted = 1; };
  sigaction(SIGINT, &on_stop, nullptr);
  sigaction(SIGTERM, &on_stop, nullptr);

  std::string self(4096, '\0');
  self.resize(static_cast<size_t>(
      std::max<ssize_t>(0, readlink("/proc/self/exe", self.data(), self.size() - 1))));
  testsupport::VirtualLan lan;
  lan.AddSegment("lan");
  lan.AddPcAdapter("qa0", "lan", "02:00:00:00:60:10", "192.168.60.10/16");
  lan.AddCamera("cam", "lan", "192.168.60.2/16",
                {"--port", "0", "--count", std::to_string(count), "--address", "192.168.61.1/16"});
  if (!lan.ok()) {
    std::fprintf(stderr, "could not build the virtual LAN: %s\n", lan.Error().c_str());
    return 1;
  }
  std::printf("%d simulated cameras in one process, one search through one adapter\n", count);
  std::fflush(stdout);
  const std::string pc = lan.Namespace("pc");
  for (int run = 0; run < runs && !g_interrupted; ++run) {
    testsupport::RunProgram({"ip", "netns", "exec", pc, self, "--finder"});
    testsupport::RunProgram({"ip", "netns", "exec", pc, "setpriv", "--reuid=nobody",
                             "--regid=nogroup", "--clear-groups", self, "--finder"});
  }
  testsupport::RunProgram({"ip", "netns", "exec", pc, "setpriv", "--reuid=nobody",
                           "--regid=nogroup", "--clear-groups", self, "--small-buffer", "212992"});
  return 0;
}
