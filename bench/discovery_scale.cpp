// Many cameras answering one search: how many the finder reports through one
// adapter, and the receive buffer its socket got, as root and as an
// unprivileged user. With --flood, a camera that answers each search with
// 100,000 junk datagrams beside a real one: how long the searches take and
// how much memory they leave behind. Builds its own network namespaces (needs
// root) and removes them at the end; nothing is sent from the machine's own
// namespace.
//
//   bench_discovery_scale [--count N] [--runs N]
//   bench_discovery_scale --flood [--runs N]
//   bench_discovery_scale --finder [--runs N]  (searches, run inside the pc namespace)
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
#include <fstream>
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

// The resident memory of this process, in KiB.
long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// `runs` searches one after another by one finder; a line for each, then the
// memory they left behind.
int RunFinder(int runs) {
  Tally tally;
  NTavoIPFinderThread finder(&OnFinderEvent, &tally);
  const long before = ResidentKiB();
  for (int run = 0; run < runs; ++run) {
    {
      std::lock_guard<std::mutex> lock(tally.mu);
      tally.records = 0;
      tally.macs.clear();
    }
    finder.commandCode = kCommandSearch;
    const auto start = std::chrono::steady_clock::now();
    if (!finder.Start() || !finder.WaitForEnd()) return 1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::lock_guard<std::mutex> lock(tally.mu);
    std::printf(
        "uid %d: %zu adapter(s), receive buffer %d bytes, %d replies reported, "
        "%zu distinct cameras, %u lost, search took %.2f s\n",
        static_cast<int>(getuid()), finder.Adapters().size(), DiscoveryReceiveBufferSize(),
        tally.records, tally.macs.size(), finder.LostAnswers(), seconds);
  }
  std::printf("resident memory grew by %ld KiB over %d search(es)\n", ResidentKiB() - before, runs);
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

// Runs the finder inside the pc, as root and as nobody.
void RunFinders(testsupport::VirtualLan& lan, const std::string& self, int runs, bool as_nobody) {
  const std::string pc = lan.Namespace("pc");
  testsupport::RunProgram(
      {"ip", "netns", "exec", pc, self, "--finder", "--runs", std::to_string(runs)});
  if (as_nobody)
    testsupport::RunProgram({"ip", "netns", "exec", pc, "setpriv", "--reuid=nobody",
                             "--regid=nogroup", "--clear-groups", self, "--finder", "--runs",
                             std::to_string(runs)});
}

}  // namespace

int main(int argc, char** argv) {
  int count = 1000, runs = 3;
  bool flood = false, finder = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--small-buffer" && i + 1 < argc) return RunSmallBufferSearch(std::atoi(argv[++i]));
    if (arg == "--finder")
      finder = true;
    else if (arg == "--flood")
      flood = true;
    else if (arg == "--count" && i + 1 < argc)
      count = std::atoi(argv[++i]);
    else if (arg == "--runs" && i + 1 < argc)
      runs = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: %s [--flood] [--count N] [--runs N]\n", argv[0]);
      return 2;
    }
  }
  if (finder) return RunFinder(runs);
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
  if (flood) {
    lan.AddCamera("real", "lan", "192.168.60.2/16", {"--mac", "00:1a:2b:00:00:01"});
    lan.AddCamera("flood", "lan", "192.168.60.3/16",
                  {"--mac", "00:1a:2b:00:00:02", "--discovery-fault", "flood"});
  } else {
    lan.AddCamera(
        "cam", "lan", "192.168.60.2/16",
        {"--port", "0", "--count", std::to_string(count), "--address", "192.168.61.1/16"});
  }
  if (!lan.ok()) {
    std::fprintf(stderr, "could not build the virtual LAN: %s\n", lan.Error().c_str());
    return 1;
  }
  if (flood) {
    std::printf(
        "one camera and one answering each search with 100,000 junk datagrams; "
        "%d searches by one finder\n",
        runs);
    std::fflush(stdout);
    RunFinders(lan, self, runs, false);
    return 0;
  }
  std::printf("%d simulated cameras in one process, one search through one adapter\n", count);
  std::fflush(stdout);
  for (int run = 0; run < runs && !g_interrupted; ++run) RunFinders(lan, self, 1, true);
  testsupport::RunProgram({"ip", "netns", "exec", lan.Namespace("pc"), "setpriv", "--reuid=nobody",
                           "--regid=nogroup", "--clear-groups", self, "--small-buffer", "212992"});
  return 0;
}
