#include "discovery_responder.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "discovery/discovery_wire.h"
#include "net/base64.h"

namespace camsim {
namespace {

constexpr int kPollMs = 50;

bool CredentialsMatch(const uint8_t* payload, const std::string& password) {
  uint8_t expected[64];
  WriteBase64Field(expected, sizeof expected, "admin");
  if (std::memcmp(payload, expected, 64) != 0) return false;
  WriteBase64Field(expected, sizeof expected, password.c_str());
  return std::memcmp(payload + 64, expected, 64) == 0;
}

void WriteReplyHeader(const SimCamera& camera, const uint8_t* request, uint16_t status,
                      size_t payload, uint8_t* out) {
  std::memcpy(out, "RAVN", 4);
  std::memcpy(out + 4, request + 4, 4);  // the request's version
  out[8] = kDirectionReply;
  out[9] = request[9];
  out[10] = request[10];
  const uint32_t address = camera.settings().address;
  std::memcpy(out + 13, &address, 4);
  std::memcpy(out + 17, camera.mac().data(), 6);
  out[23] = static_cast<uint8_t>(status);
  out[24] = static_cast<uint8_t>(status >> 8);
  for (int i = 0; i < 4; ++i) out[25 + i] = static_cast<uint8_t>(payload >> (8 * i));
}

std::vector<uint8_t> SearchReply(const SimCamera& camera, const uint8_t* request) {
  CameraRecord record{};
  uint8_t* bytes = reinterpret_cast<uint8_t*>(&record);
  WriteReplyHeader(camera, request, 0, kSearchReplySize - kDiscoveryHeaderSize, bytes);
  std::strncpy(record.modelName, camera.model().c_str(), sizeof record.modelName - 1);
  std::strncpy(record.cameraName, camera.name().c_str(), sizeof record.cameraName - 1);
  const SimCamera::Settings settings = camera.settings();
  std::memcpy(record.subnetMask, &settings.mask, 4);
  record.httpPort[0] = static_cast<uint8_t>(camera.http_port());
  record.httpPort[1] = static_cast<uint8_t>(camera.http_port() >> 8);
  return std::vector<uint8_t>(bytes, bytes + kSearchReplySize);
}

// The settings a set-address request asks for; false when they are unusable
// (a fixed address of 0 or all-ones, or an empty mask), which the camera refuses.
// DHCP hands out the configured lease, or keeps the current address when the
// simulator was given none.
bool RequestedSettings(const uint8_t* payload, const SimCamera::Settings& current,
                       const SimCamera::Settings& lease, SimCamera::Settings* out) {
  if (payload[128] != 0 || payload[129] != 0) {
    *out = lease.address != 0 ? lease : current;
    out->dhcp = true;
    return true;
  }
  SimCamera::Settings settings;
  std::memcpy(&settings.address, payload + 130, 4);
  std::memcpy(&settings.mask, payload + 134, 4);
  std::memcpy(&settings.gateway, payload + 138, 4);
  if (settings.address == 0 || settings.address == 0xFFFFFFFFu || settings.mask == 0) return false;
  *out = settings;
  return true;
}

int PrefixLength(uint32_t mask) { return __builtin_popcount(mask); }

std::string Dotted(uint32_t address) {
  char text[16];
  FormatDottedAddress(address, text);
  return text;
}

// Runs `ip` with its arguments, without a shell; true when it succeeds.
bool RunIp(std::vector<std::string> args) {
  std::vector<char*> argv;
  args.insert(args.begin(), "ip");
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    execvp("ip", argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

DiscoveryResponder::DiscoveryResponder(DiscoveryConfig config, std::vector<SimCamera*> cameras,
                                       AddressApplier applier)
    : config_(std::move(config)), cameras_(std::move(cameras)), applier_(std::move(applier)) {}

DiscoveryResponder::~DiscoveryResponder() { Stop(); }

bool DiscoveryResponder::Start(std::string* err) {
  if (!InNamedNetworkNamespace()) {
    *err = "the discovery side only runs inside a network namespace made by 'ip netns add'";
    return false;
  }
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  bool ok = fd_ >= 0 && setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 &&
            setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
  if (ok && !config_.interface_name.empty())
    ok = setsockopt(fd_, SOL_SOCKET, SO_BINDTODEVICE, config_.interface_name.c_str(),
                    static_cast<socklen_t>(config_.interface_name.size())) == 0;
  // Lets a reply leave from a camera's address that the interface does not
  // hold; without the privilege those replies leave from the interface's own.
  if (ok) setsockopt(fd_, SOL_IP, IP_TRANSPARENT, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(kDiscoveryPort);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  ok = ok && bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
  if (!ok) {
    *err = std::string("discovery socket: ") + std::strerror(errno);
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    return false;
  }
  stop_.store(false);
  thread_ = std::thread(&DiscoveryResponder::Loop, this);
  return true;
}

void DiscoveryResponder::Stop() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void DiscoveryResponder::Loop() {
  alignas(8) uint8_t request[2048];
  while (!stop_.load()) {
    ApplyDueMoves();
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, kPollMs) != 1) continue;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t got = recvfrom(fd_, request, sizeof request, MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got > 0 && static_cast<size_t>(got) <= sizeof request)
      Handle(request, static_cast<size_t>(got), &from);
  }
}

std::vector<uint8_t> DiscoveryResponder::Answer(const SimCamera& camera, const uint8_t* request,
                                                size_t length, bool* accepted,
                                                SimCamera::Settings* settings) const {
  *accepted = false;
  if (length < kDiscoveryHeaderSize || std::memcmp(request, "RAVN", 4) != 0 ||
      request[8] != kDirectionRequest)
    return {};
  const int command = request[9] | (request[10] << 8);
  const CommandLayout* layout = FindCommandLayout(command);
  if (!layout || length != layout->requestSize) return {};
  std::vector<uint8_t> reply;
  if (command == kCommandSearch) {
    reply = SearchReply(camera, request);
  } else {
    const bool any_target = config_.fault == DiscoveryFault::kAnyTarget;
    if (!any_target && std::memcmp(request + 17, camera.mac().data(), 6) != 0) return {};
    if (command == kCommandSetAddress && config_.fault == DiscoveryFault::kIgnoreSetAddress)
      return {};
    const uint8_t* payload = request + kDiscoveryHeaderSize;
    bool ok = any_target || CredentialsMatch(payload, camera.password());
    if (ok && !any_target && command == kCommandSetAddress) {
      ok = RequestedSettings(payload, camera.settings(), config_.dhcp_lease, settings);
      *accepted = ok;
    }
    // Commands other than 1 and 2 are only acknowledged: this camera keeps no
    // data for them, so even data commands get a bare header.
    reply.assign(kResultReplySize, 0);
    WriteReplyHeader(camera, request, ok ? 0 : 1, 0, reply.data());
  }
  if (config_.fault == DiscoveryFault::kWrongLength) reply.push_back(0);
  return reply;
}

bool DiscoveryResponder::Answers(const uint8_t* request, size_t length) {
  if (length < kDiscoveryHeaderSize || request[8] != kDirectionRequest) return false;
  const bool search = request[9] == kCommandSearch && request[10] == 0;
  if (config_.fault == DiscoveryFault::kAfterSettings) {
    if (request[9] == kCommandSetAddress && request[10] == 0) heard_settings_ = true;
    if (!search || !heard_settings_) return false;
  }
  if (search && config_.search_delay_ms > 0) {
    const auto due =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.search_delay_ms);
    while (!stop_.load() && std::chrono::steady_clock::now() < due)
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  return !stop_.load();
}

void DiscoveryResponder::Handle(const uint8_t* request, size_t length, const void* from) {
  if (!Answers(request, length)) return;
  for (SimCamera* camera : cameras_) {
    bool accepted = false;
    SimCamera::Settings settings;
    const std::vector<uint8_t> reply = Answer(*camera, request, length, &accepted, &settings);
    if (reply.empty()) continue;
    Send(reply, from);
    if (config_.fault == DiscoveryFault::kTwice) Send(reply, from);
    if (config_.fault == DiscoveryFault::kFlood && reply.size() == kSearchReplySize &&
        FirstCopyOfSearch(from))
      Flood(reply, from);
    if (accepted) {
      const auto due =
          std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.set_delay_ms);
      pending_.push_back({camera, settings, due});
    }
  }
}

void DiscoveryResponder::Send(const std::vector<uint8_t>& reply, const void* from) {
  sockaddr_in to = *static_cast<const sockaddr_in*>(from);
  if (config_.reply_mode == ReplyMode::kBroadcast) to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  iovec part{const_cast<uint8_t*>(reply.data()), reply.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = &to;
  message.msg_namelen = sizeof to;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  if (config_.fault != DiscoveryFault::kImpostor) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    std::memcpy(&info.ipi_spec_dst, reply.data() + 13, 4);  // the address the reply claims
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
  }
  if (sendmsg(fd_, &message, 0) >= 0 || !message.msg_control) return;
  message.msg_control = nullptr;  // not allowed that source: the interface's own
  message.msg_controllen = 0;
  sendmsg(fd_, &message, 0);
}

bool DiscoveryResponder::FirstCopyOfSearch(const void* from) {
  const sockaddr_in& source = *static_cast<const sockaddr_in*>(from);
  const uint64_t searcher = uint64_t{source.sin_addr.s_addr} << 16 | source.sin_port;
  const auto now = std::chrono::steady_clock::now();
  const bool again = searcher == flooded_searcher_ && now - flooded_at_ < std::chrono::seconds(5);
  flooded_searcher_ = searcher;
  flooded_at_ = now;
  return !again;
}

void DiscoveryResponder::Flood(const std::vector<uint8_t>& reply, const void* from) {
  constexpr int kDatagrams = 100000;
  // The other cameras' true answers go out first.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const sockaddr_in to = *static_cast<const sockaddr_in*>(from);
  std::mt19937 random(12345);
  std::vector<uint8_t> datagram;
  for (int i = 0; i < kDatagrams && !stop_.load(); ++i) {
    if (i % 2 == 0) {
      datagram.resize(1 + random() % 1400);
      for (uint8_t& b : datagram) b = static_cast<uint8_t>(random());
    } else {
      datagram = reply;
      switch (i / 2 % 4) {
        case 0:
          datagram.resize(1 + random() % (kSearchReplySize + 64));
          if (datagram.size() == kSearchReplySize) datagram.pop_back();
          break;
        case 1:
          datagram[3] ^= 0x20;  // "RAVn"
          break;
        case 2:
          datagram[8] ^= 0xFF;  // direction
          break;
        default:
          datagram[9] = 2;  // a reply to another command
          break;
      }
    }
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
  }
}

void DiscoveryResponder::ApplyDueMoves() {
  const auto now = std::chrono::steady_clock::now();
  for (size_t i = 0; i < pending_.size();) {
    if (pending_[i].due > now) {
      ++i;
      continue;
    }
    const SimCamera::Settings settings = pending_[i].settings;
    if (applier_) applier_(*pending_[i].camera, settings);
    pending_[i].camera->set_settings(settings);
    pending_.erase(pending_.begin() + static_cast<long>(i));
  }
}

bool ReadInterfaceAddress(const std::string& name, uint32_t* address, uint32_t* mask) {
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return false;
  bool found = false;
  for (ifaddrs* it = all; it && !found; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET || !it->ifa_netmask) continue;
    if (name != it->ifa_name) continue;
    *address = reinterpret_cast<sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr;
    *mask = reinterpret_cast<sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr;
    found = true;
  }
  freeifaddrs(all);
  return found;
}

bool InNamedNetworkNamespace() {
  struct stat own {};
  if (stat("/proc/self/ns/net", &own) != 0) return false;
  DIR* dir = opendir("/run/netns");
  if (!dir) return false;
  bool named = false;
  while (dirent* entry = readdir(dir)) {
    struct stat other {};
    const std::string path = std::string("/run/netns/") + entry->d_name;
    if (entry->d_name[0] != '.' && stat(path.c_str(), &other) == 0 && other.st_ino == own.st_ino &&
        other.st_dev == own.st_dev)
      named = true;
  }
  closedir(dir);
  return named;
}

AddressApplier MakeInterfaceApplier(const std::string& interfaceName) {
  return [interfaceName](const SimCamera& camera, const SimCamera::Settings& s) {
    const SimCamera::Settings now = camera.settings();
    if (!InNamedNetworkNamespace() || (now.address == s.address && now.mask == s.mask)) return;
    RunIp({"addr", "flush", "dev", interfaceName, "scope", "global"});
    RunIp({"addr", "add", Dotted(s.address) + "/" + std::to_string(PrefixLength(s.mask)), "dev",
           interfaceName});
    if (s.gateway != 0 && (s.gateway & s.mask) == (s.address & s.mask))
      RunIp({"route", "replace", "default", "via", Dotted(s.gateway), "dev", interfaceName});
  };
}

}  // namespace camsim
