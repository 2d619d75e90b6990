// tavo-camsim: plays the camera's part for tests and demonstrations. It
// answers the camera's HTTP commands and streams pictures and sound.

#include <arpa/inet.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "discovery/discovery_wire.h"
#include "discovery_options.h"
#include "http_server.h"
#include "media/media_header.h"
#include "sim_camera.h"

namespace {

struct SimOptions {
  camsim::HttpConfig http;
  int count = 1;
  std::array<uint8_t, 6> mac = {0x00, 0x1a, 0x2b, 0x00, 0x00, 0x01};
  std::string model = "TAVO-C1";
  std::string name = "Camera";
  std::string password = "kerut";
  camsim::DiscoveryOptions discovery;
};

constexpr char kUsage[] =
    "Usage: tavo-camsim [options]\n"
    "Plays a network camera: answers its HTTP commands and streams pictures and sound.\n"
    "\n"
    "  --listen ADDR        IPv4 address the HTTP side listens on (default 0.0.0.0)\n"
    "  --port N             HTTP port (default 80; 0 picks a free one)\n"
    "  --count N            number of cameras, at most 4096 (default 1); HTTP serves\n"
    "                       the first\n"
    "  --mac XX:XX:XX:XX:XX:XX  MAC of the first camera; the others count up\n"
    "  --model TEXT         model name (default TAVO-C1)\n"
    "  --name TEXT          camera name (default Camera; numbered when --count > 1)\n"
    "  --password TEXT      password of the user admin (default kerut)\n"
    "  --size WxH           picture size (default 640x480)\n"
    "  --fps N              pictures per second (default 15)\n"
    "  --quality N          JPEG quality 1-100 (default 75)\n"
    "  --audio ulaw|pcm16   sound coding (default ulaw: mu-law, 8 bits)\n"
    "  --audio-rate N       8000, 11000, 24000, 44000 or 48000 (default 8000)\n"
    "  --tone HZ            frequency of the test tone (default 440)\n"
    "  --stamp none|time    write each picture's send time into it (default none)\n"
    "  --boundary TEXT      multipart boundary (default quenloframe)\n"
    "  --fault KIND         none, stall-header, close-mid-part, wrong-length,\n"
    "                       garbage-part, lowercase-length, slow-drip-header\n"
    "                       (command replies one byte at a time) or slow-drip-body\n"
    "                       (their bodies only) or silent-change (a password change\n"
    "                       is made, its connection closed unanswered) (default none)\n"
    "  --fault-part N       stream part a per-part fault hits, from 0 (default 2)\n"
    "  --drip-ms N          pause between the bytes of a dripping reply (default 4000)\n"
    "  --reply-delay-ms N   answer commands (not streams) N ms late (default 0)\n"
    "  --help               show this text\n"
    "\n"
    "Prints \"listening on ADDR:PORT\" once ready; stops cleanly on SIGINT or SIGTERM.\n";

bool ParseInt(const char* text, int low, int high, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

bool ParseMac(const char* text, std::array<uint8_t, 6>* mac) {
  unsigned b[6];
  char tail;
  if (std::sscanf(text, "%x:%x:%x:%x:%x:%x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &tail) !=
      6)
    return false;
  for (int i = 0; i < 6; ++i) {
    if (b[i] > 255) return false;
    (*mac)[i] = static_cast<uint8_t>(b[i]);
  }
  return true;
}

bool ParseFault(const std::string& text, camsim::Fault* fault) {
  static const std::pair<const char*, camsim::Fault> kFaults[] = {
      {"none", camsim::Fault::kNone},
      {"stall-header", camsim::Fault::kStallHeader},
      {"close-mid-part", camsim::Fault::kCloseMidPart},
      {"wrong-length", camsim::Fault::kWrongLength},
      {"garbage-part", camsim::Fault::kGarbagePart},
      {"lowercase-length", camsim::Fault::kLowercaseLength},
      {"slow-drip-header", camsim::Fault::kSlowDripHeader},
      {"slow-drip-body", camsim::Fault::kSlowDripBody},
      {"silent-change", camsim::Fault::kSilentChange},
  };
  for (const auto& [name, value] : kFaults)
    if (text == name) {
      *fault = value;
      return true;
    }
  return false;
}

// How a value of `opt` is written, for its usage error: empty, or a
// parenthesised form.
std::string ValueForm(const std::string& opt) {
  const std::string form =
      opt == "--listen" ? "four decimal numbers from 0 to 255 separated by dots, such as 127.0.0.1"
                        : camsim::AddressOptionForm(opt);
  return form.empty() ? form : " (" + form + ")";
}

// Applies one option with its value; false (with `err`) when either is wrong.
bool ApplyOption(const std::string& opt, const char* value, SimOptions* o, std::string* err) {
  camsim::StreamConfig& s = o->http.stream;
  int port = 0;
  bool ok = true;
  if (opt == "--listen") {
    o->http.listen_address = value;
    ok = ParseDottedQuad(value).has_value();
  } else if (opt == "--port") {
    ok = ParseInt(value, 0, 65535, &port);
    o->http.port = static_cast<uint16_t>(port);
  } else if (opt == "--count") {
    ok = ParseInt(value, 1, 4096, &o->count);
  } else if (opt == "--mac") {
    ok = ParseMac(value, &o->mac);
  } else if (opt == "--model") {
    o->model = value;
  } else if (opt == "--name") {
    o->name = value;
  } else if (opt == "--password") {
    o->password = value;
  } else if (opt == "--size") {
    char x = 0, tail = 0;
    ok = std::sscanf(value, "%d%c%d%c", &s.width, &x, &s.height, &tail) == 3 && x == 'x' &&
         s.width >= 16 && s.width <= 4096 && s.height >= 16 && s.height <= 4096;
  } else if (opt == "--fps") {
    ok = ParseInt(value, 1, 120, &s.fps);
  } else if (opt == "--quality") {
    ok = ParseInt(value, 1, 100, &s.quality);
  } else if (opt == "--audio") {
    ok = std::strcmp(value, "ulaw") == 0 || std::strcmp(value, "pcm16") == 0;
    s.audio_pcm16 = std::strcmp(value, "pcm16") == 0;
  } else if (opt == "--audio-rate") {
    ok = ParseInt(value, 1, 48000, &s.audio_rate) &&
         media_header::RateIndex(static_cast<uint32_t>(s.audio_rate)) >= 0;
  } else if (opt == "--tone") {
    int hz = 0;
    ok = ParseInt(value, 1, 20000, &hz);
    s.tone_hz = hz;
  } else if (opt == "--stamp") {
    ok = std::strcmp(value, "none") == 0 || std::strcmp(value, "time") == 0;
    s.stamp = std::strcmp(value, "time") == 0;
  } else if (opt == "--boundary") {
    o->http.boundary = value;
    ok = !o->http.boundary.empty();
  } else if (opt == "--fault") {
    ok = ParseFault(value, &o->http.fault);
  } else if (opt == "--reply-delay-ms") {
    ok = ParseInt(value, 0, 600000, &o->http.reply_delay_ms);
  } else if (opt == "--drip-ms") {
    ok = ParseInt(value, 1, 600000, &o->http.drip_ms);
  } else if (opt == "--fault-part") {
    ok = ParseInt(value, 0, 1000000, &o->http.fault_part);
  } else if (camsim::IsDiscoveryOption(opt)) {
    ok = camsim::ApplyDiscoveryOption(opt, value, &o->discovery);
  } else {
    *err = "unknown option " + opt;
    return false;
  }
  if (!ok) *err = "bad value for " + opt + ": " + value + ValueForm(opt);
  return ok;
}

// 0: run; 1: error (message in `err`); 2: help was asked for.
int ParseOptions(int argc, char** argv, SimOptions* o, std::string* err) {
  for (int i = 1; i < argc; ++i) {
    std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") return 2;
    const char* value = nullptr;
    if (const size_t eq = opt.find('='); opt.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = argv[i] + eq + 1;
      opt.resize(eq);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      *err = "missing value for " + opt;
      return 1;
    }
    if (!ApplyOption(opt, value, o, err)) return 1;
  }
  return 0;
}

std::vector<std::unique_ptr<camsim::SimCamera>> MakeCameras(const SimOptions& o, uint16_t port) {
  std::vector<std::unique_ptr<camsim::SimCamera>> cameras;
  for (int i = 0; i < o.count; ++i) {
    std::array<uint8_t, 6> mac = o.mac;
    uint32_t low = (uint32_t{mac[3]} << 16 | uint32_t{mac[4]} << 8 | mac[5]) + i;
    mac[3] = static_cast<uint8_t>(low >> 16);
    mac[4] = static_cast<uint8_t>(low >> 8);
    mac[5] = static_cast<uint8_t>(low);
    const std::string name = o.count > 1 ? o.name + " " + std::to_string(i + 1) : o.name;
    cameras.push_back(std::make_unique<camsim::SimCamera>(mac, o.model, name, port, o.password));
  }
  return cameras;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  std::string err;
  switch (ParseOptions(argc, argv, &options, &err)) {
    case 2:
      std::fputs(kUsage, stdout);
      std::fputs(camsim::kDiscoveryUsage, stdout);
      return 0;
    case 1:
      std::fprintf(stderr, "tavo-camsim: %s\n%s", err.c_str(), kUsage);
      return 2;
  }

  // Every thread started from here on inherits the blocked signals, so only
  // the sigwait below sees them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  camsim::HttpServer http(options.http);
  if (!http.Listen(&err)) {
    std::fprintf(stderr, "tavo-camsim: %s\n", err.c_str());
    return 1;
  }
  std::vector<std::unique_ptr<camsim::SimCamera>> cameras = MakeCameras(options, http.port());
  http.Start(cameras.front().get());

  std::unique_ptr<camsim::DiscoveryResponder> discovery;
  if (!camsim::StartDiscovery(options.discovery, cameras, &discovery, &err)) {
    std::fprintf(stderr, "tavo-camsim: %s\n", err.c_str());
    http.Stop();
    return 1;
  }

  std::printf("listening on %s:%u\n", options.http.listen_address.c_str(), http.port());
  std::fflush(stdout);
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);

  discovery.reset();

  http.Stop();
  return 0;
}
