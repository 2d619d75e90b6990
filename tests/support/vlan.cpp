#include "support/vlan.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace testsupport {
namespace {

constexpr int kSimulatorStartMs = 10000;
constexpr int kLinkChangeMs = 10000;

std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

int WaitExit(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads from `fd` until `marker` shows up or `ms` pass.
bool WaitForText(int fd, const std::string& marker, int ms) {
  std::string seen;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 100) != 1) continue;
    char chunk[256];
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) return false;
    seen.append(chunk, static_cast<size_t>(got));
    if (seen.find(marker) != std::string::npos) return true;
  }
  return false;
}

void KillAllIn(const std::string& ns) {
  std::string pids;
  RunProgram({"ip", "netns", "pids", ns}, &pids);
  char* cursor = pids.data();
  while (*cursor) {
    char* end = nullptr;
    const long pid = std::strtol(cursor, &end, 10);
    if (end == cursor) break;
    if (pid > 1 && pid != getpid()) kill(static_cast<pid_t>(pid), SIGKILL);
    cursor = end;
  }
}

}  // namespace

int RunProgram(const std::vector<std::string>& args, std::string* output) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv = Argv(copy);
  int pipeFds[2] = {-1, -1};
  if (output && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (output) dup2(pipeFds[1], STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (output) {
    close(pipeFds[1]);
    output->clear();
    char chunk[1024];
    ssize_t got;
    while ((got = read(pipeFds[0], chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR)) {
      if (got > 0) output->append(chunk, static_cast<size_t>(got));
    }
    close(pipeFds[0]);
  }
  return WaitExit(child);
}

VirtualLan::VirtualLan() : prefix_(std::string(kNamePrefix) + std::to_string(getpid()) + "-") {
  RemoveStale();
  // A leftover of this very pid (a reused pid) goes too.
  for (const std::string& ns : NamespacesWithPrefix(prefix_)) DeleteNamespace(ns);
  AddNamespace("sw");
  AddNamespace("pc");
  Step({"ip", "netns", "exec", Namespace("pc"), "sysctl", "-qw", "net.ipv4.conf.all.rp_filter=2",
        "net.ipv4.conf.default.rp_filter=2"});
}

VirtualLan::~VirtualLan() {
  for (const Simulator& sim : simulators_) kill(sim.pid, SIGTERM);
  for (const Simulator& sim : simulators_) {
    bool ended = false;
    for (int i = 0; i < 30 && !ended; ++i) {
      ended = waitpid(sim.pid, nullptr, WNOHANG) == sim.pid;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!ended) {
      kill(sim.pid, SIGKILL);
      waitpid(sim.pid, nullptr, 0);
    }
    close(sim.output);
  }
  for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it) DeleteNamespace(*it);
}

std::vector<std::string> VirtualLan::NamespacesWithPrefix(const std::string& prefix) {
  std::string listing;
  RunProgram({"ip", "netns", "list"}, &listing);
  std::vector<std::string> found;
  size_t start = 0;
  while (start < listing.size()) {
    size_t end = listing.find('\n', start);
    if (end == std::string::npos) end = listing.size();
    const std::string line = listing.substr(start, end - start);
    const std::string name = line.substr(0, line.find(' '));
    if (name.rfind(prefix, 0) == 0) found.push_back(name);
    start = end + 1;
  }
  return found;
}

void VirtualLan::RemoveStale() {
  for (const std::string& ns : NamespacesWithPrefix(kNamePrefix)) {
    const long pid = std::strtol(ns.c_str() + std::strlen(kNamePrefix), nullptr, 10);
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) DeleteNamespace(ns);
  }
}

void VirtualLan::DeleteNamespace(const std::string& ns) {
  KillAllIn(ns);
  RunProgram({"ip", "netns", "del", ns});
}

bool VirtualLan::Step(const std::vector<std::string>& argv) {
  if (!ok()) return false;
  if (RunProgram(argv) == 0) return true;
  error_ = "failed:";
  for (const std::string& a : argv) error_ += " " + a;
  return false;
}

bool VirtualLan::AddNamespace(const std::string& host) {
  const std::string ns = Namespace(host);
  if (!Step({"ip", "netns", "add", ns})) return false;
  namespaces_.push_back(ns);
  return Step({"ip", "-n", ns, "link", "set", "lo", "up"});
}

bool VirtualLan::AddSegment(const std::string& segment) {
  const std::string sw = Namespace("sw");
  return Step({"ip", "-n", sw, "link", "add", "name", "br-" + segment, "type", "bridge"}) &&
         Step({"ip", "-n", sw, "link", "set", "br-" + segment, "up"});
}

// A veth pair made inside the switch namespace, its far end moved straight
// into `host`'s namespace, its near end a port of the segment's bridge.
bool VirtualLan::Attach(const std::string& switchPort, const std::string& host,
                        const std::string& ifname, const std::string& segment) {
  const std::string sw = Namespace("sw");
  return Step({"ip", "-n", sw, "link", "add", "name", switchPort, "type", "veth", "peer", "name",
               ifname, "netns", Namespace(host)}) &&
         Step({"ip", "-n", sw, "link", "set", switchPort, "master", "br-" + segment}) &&
         Step({"ip", "-n", sw, "link", "set", switchPort, "up"});
}

bool VirtualLan::AddPcAdapter(const std::string& name, const std::string& segment,
                              const std::string& mac, const std::string& address) {
  const std::string pc = Namespace("pc");
  return Attach("p" + std::to_string(++ports_), "pc", name, segment) &&
         Step({"ip", "-n", pc, "link", "set", name, "address", mac}) &&
         Step({"ip", "-n", pc, "addr", "add", address, "dev", name}) &&
         Step({"ip", "-n", pc, "link", "set", name, "up"}) &&
         Step({"ip", "netns", "exec", pc, "sysctl", "-qw",
               "net.ipv4.conf." + name + ".rp_filter=2"});
}

bool VirtualLan::SetPcDefaultRoute(const std::string& gateway, const std::string& adapter) {
  return Step(
      {"ip", "-n", Namespace("pc"), "route", "replace", "default", "via", gateway, "dev", adapter});
}

bool VirtualLan::SetPcRpFilter(int mode) {
  std::string links;
  if (Ip("pc", {"-o", "link", "show"}, &links) != 0) return false;
  std::vector<std::string> keys = {"all", "default"};
  for (size_t at = 0; (at = links.find(": ", at)) != std::string::npos;) {
    const size_t end = links.find_first_of(":@", at + 2);
    keys.push_back(links.substr(at + 2, end - at - 2));
    at = links.find('\n', at);
    if (at == std::string::npos) break;
  }
  std::vector<std::string> argv = {"ip", "netns", "exec", Namespace("pc"), "sysctl", "-qw"};
  for (const std::string& key : keys)
    argv.push_back("net.ipv4.conf." + key + ".rp_filter=" + std::to_string(mode));
  return Step(argv);
}

bool VirtualLan::AddCamera(const std::string& camera, const std::string& segment,
                           const std::string& address,
                           const std::vector<std::string>& simulatorArgs) {
  const std::string ns = Namespace(camera);
  const std::string port = "c" + std::to_string(++ports_);
  camera_ports_[camera] = port;
  if (!AddNamespace(camera) || !Attach(port, camera, "eth0", segment) ||
      !Step({"ip", "-n", ns, "addr", "add", address, "dev", "eth0"}) ||
      !Step({"ip", "-n", ns, "link", "set", "eth0", "up"}))
    return false;
  std::vector<std::string> args = {
      "ip", "netns", "exec", ns, QUENLO_BUILD_DIR "/tools/camsim/tavo-camsim", "--iface", "eth0"};
  args.insert(args.end(), simulatorArgs.begin(), simulatorArgs.end());
  std::vector<char*> argv = Argv(args);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a crashed test
    dup2(out[1], STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  if (child < 0) {
    close(out[0]);
    error_ = "cannot start the simulator";
    return false;
  }
  simulators_.push_back({child, ns, out[0]});
  if (!WaitForText(out[0], "listening on", kSimulatorStartMs)) {
    error_ = "simulator in " + ns + " did not start";
    return false;
  }
  return true;
}

// Down: the camera's end has gone down and the switch's port is disabled.
// Up: both ends of the cable have their carrier and the port forwards.
bool VirtualLan::SwitchPortIs(const std::string& camera, bool up) {
  std::string own, port;
  if (Ip(camera, {"-o", "link", "show", "dev", "eth0"}, &own) != 0 ||
      Ip("sw", {"-o", "-d", "link", "show", "dev", camera_ports_[camera]}, &port) != 0)
    return false;
  if (!up) return port.find("bridge_slave state disabled") != std::string::npos;
  return own.find(" state UP ") != std::string::npos &&
         port.find(" state UP ") != std::string::npos &&
         port.find("bridge_slave state forwarding") != std::string::npos;
}

bool VirtualLan::SetCameraLink(const std::string& camera, bool up) {
  if (!camera_ports_.count(camera)) {
    error_ = "no camera " + camera;
    return false;
  }
  if (!Step({"ip", "-n", Namespace(camera), "link", "set", "eth0", up ? "up" : "down"}))
    return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLinkChangeMs);
  while (!SwitchPortIs(camera, up)) {
    if (std::chrono::steady_clock::now() > end) {
      error_ = "the switch's port to " + camera + (up ? " does not forward" : " stays enabled");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

int VirtualLan::Ip(const std::string& host, const std::vector<std::string>& args,
                   std::string* output) {
  std::vector<std::string> argv = {"ip", "-n", Namespace(host)};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, output);
}

std::unique_ptr<VirtualLan::PcScope> VirtualLan::EnterPc() const {
  return std::unique_ptr<PcScope>(new PcScope(Namespace("pc")));
}

VirtualLan::PcScope::PcScope(const std::string& ns) {
  saved_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  const int target = open(("/var/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
  entered_ = saved_ >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
  if (target >= 0) close(target);
}

VirtualLan::PcScope::~PcScope() {
  if (entered_ && setns(saved_, CLONE_NEWNET) != 0) std::abort();  // never go on elsewhere
  if (saved_ >= 0) close(saved_);
}

}  // namespace testsupport
