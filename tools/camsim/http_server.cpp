#include "http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "discovery/discovery_wire.h"
#include "generators.h"
#include "media/media_header.h"
#include "time_stamp.h"

namespace camsim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxRequest = 8192;

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SendAll(int fd, const std::string& text) { return SendAll(fd, text.data(), text.size()); }

// Reads the request header; false when the peer closes, stalls or sends too much.
bool ReadRequest(int fd, std::string* request) {
  char chunk[1024];
  while (request->find("\r\n\r\n") == std::string::npos) {
    if (request->size() > kMaxRequest) return false;
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    request->append(chunk, static_cast<size_t>(n));
  }
  return true;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::string Base64Decode(const std::string& text) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    const int v = Base64Value(c);
    if (v < 0) break;  // the pad or the end of the token
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return out;
}

// The value of header `name` (matched without regard to case), or empty.
std::string HeaderValue(const std::string& request, const std::string& name) {
  size_t line = request.find("\r\n");
  while (line != std::string::npos && line + 2 < request.size()) {
    const size_t start = line + 2;
    const size_t end = request.find("\r\n", start);
    if (end == std::string::npos) break;
    const std::string header = request.substr(start, end - start);
    if (header.size() > name.size() && header[name.size()] == ':' &&
        strncasecmp(header.c_str(), name.c_str(), name.size()) == 0) {
      const size_t value = header.find_first_not_of(' ', name.size() + 1);
      return value == std::string::npos ? std::string() : header.substr(value);
    }
    line = end;
  }
  return {};
}

bool Authorized(const std::string& request, const SimCamera& camera) {
  const std::string auth = HeaderValue(request, "Authorization");
  const std::string scheme = "Basic ";
  if (auth.compare(0, scheme.size(), scheme) != 0) return false;
  return Base64Decode(auth.substr(scheme.size())) == "admin:" + camera.password();
}

// The value of query parameter `name` in `query` ("a=1&b=2"), or nullptr-like false.
bool QueryValue(const std::string& query, const std::string& name, std::string* value) {
  size_t pos = 0;
  while (pos <= query.size()) {
    size_t end = query.find('&', pos);
    if (end == std::string::npos) end = query.size();
    const std::string item = query.substr(pos, end - pos);
    if (item.compare(0, name.size() + 1, name + "=") == 0) {
      *value = item.substr(name.size() + 1);
      return true;
    }
    pos = end + 1;
  }
  return false;
}

bool ValidPassword(const std::string& pwd) {
  if (pwd.empty() || pwd.size() > 32) return false;
  for (char c : pwd)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string LocalAddress(int fd) {
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0) return "0.0.0.0";
  return DottedAddress(local.sin_addr.s_addr);
}

const char* LengthName(const HttpConfig& config) {
  return config.fault == Fault::kLowercaseLength ? "content-length" : "Content-Length";
}

std::string ReplyHeader(const HttpConfig& config, int status, const char* reason, size_t length,
                        const char* extra_headers) {
  std::string header = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
  header += extra_headers;
  header += "Content-Type: text/plain\r\nConnection: close\r\n";
  header += std::string(LengthName(config)) + ": " + std::to_string(length) + "\r\n\r\n";
  return header;
}

std::string MediaHeader(uint32_t frame, uint32_t parts, uint32_t millis, uint32_t length,
                        uint32_t format) {
  std::string header(media_header::kSize, '\0');
  auto* p = reinterpret_cast<uint8_t*>(header.data());
  media_header::WriteWord(p, media_header::kFrameNumberOffset, frame);
  media_header::WriteWord(p, media_header::kPartCountOffset, parts);
  media_header::WriteWord(p, media_header::kTimestampOffset, millis);
  media_header::WriteWord(p, media_header::kPayloadLengthOffset, length);
  media_header::WriteWord(p, media_header::kFormatWordOffset, format);
  return header;
}

uint32_t MillisSince(Clock::time_point start) {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

}  // namespace

HttpServer::HttpServer(HttpConfig config) : config_(std::move(config)) {}

HttpServer::~HttpServer() {
  Stop();
  if (listen_fd_ >= 0) close(listen_fd_);
}

bool HttpServer::Listen(std::string* err) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(config_.port);
  const std::optional<uint32_t> local = ParseDottedQuad(config_.listen_address);
  if (!local) {
    *err = "not an IPv4 address: " + config_.listen_address;
    return false;
  }
  addr.sin_addr.s_addr = *local;
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  if (listen_fd_ < 0 || setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listen_fd_, 64) != 0) {
    *err = std::string("cannot listen: ") + std::strerror(errno);
    return false;
  }
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  return true;
}

void HttpServer::Start(SimCamera* camera) {
  camera_ = camera;
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

void HttpServer::Stop() {
  if (stopping_.exchange(true)) return;
  if (acceptor_.joinable()) acceptor_.join();
  std::unique_lock<std::mutex> lock(mu_);
  for (int fd : open_fds_) shutdown(fd, SHUT_RDWR);
  cv_.notify_all();
  cv_.wait(lock, [this] { return active_ == 0; });
}

void HttpServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mu_);
    open_fds_.insert(fd);
    ++active_;
    std::thread([this, fd] { Serve(fd); }).detach();
  }
}

void HttpServer::Serve(int fd) {
  Handle(fd);
  std::lock_guard<std::mutex> lock(mu_);
  open_fds_.erase(fd);
  close(fd);
  --active_;
  cv_.notify_all();
}

bool HttpServer::SendReply(int fd, int status, const char* reason, const std::string& body,
                           const char* extra_headers) {
  const std::string header = ReplyHeader(config_, status, reason, body.size(), extra_headers);
  if (config_.fault == Fault::kSlowDripHeader) {
    const std::string reply = header + body;
    return SendDripping(fd, reply.data(), reply.size());
  }
  if (config_.fault == Fault::kSlowDripBody)
    return SendAll(fd, header) && SendDripping(fd, body.data(), body.size());
  return SendAll(fd, header + body);
}

// One byte, a pause, the next: each receive of the client gets data in time,
// while the whole reply takes `drip_ms` per byte.
bool HttpServer::SendDripping(int fd, const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (i > 0 && !SleepUnlessStopping(Clock::now() + std::chrono::milliseconds(config_.drip_ms)))
      return false;
    if (!SendAll(fd, data + i, 1)) return false;
  }
  return true;
}

bool HttpServer::SleepUnlessStopping(Clock::time_point until) {
  std::unique_lock<std::mutex> lock(mu_);
  return !cv_.wait_until(lock, until, [this] { return stopping_.load(); });
}

void HttpServer::Handle(int fd) {
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string request;
  if (!ReadRequest(fd, &request)) return;
  if (config_.fault == Fault::kStallHeader) {
    // Hold the connection open, silent, until the client gives up or we stop.
    char sink[256];
    while (!stopping_ && recv(fd, sink, sizeof sink, 0) != 0) {
    }
    return;
  }
  const size_t method_end = request.find(' ');
  const size_t target_end = request.find(' ', method_end + 1);
  if (method_end == std::string::npos || target_end == std::string::npos ||
      request.compare(0, method_end, "GET") != 0) {
    SendReply(fd, 400, "Bad Request", "Bad Request\r\n");
    return;
  }
  const std::string target = request.substr(method_end + 1, target_end - method_end - 1);
  if (target.rfind("/cgi/admin/", 0) == 0 && config_.reply_delay_ms > 0 &&
      !SleepUnlessStopping(Clock::now() + std::chrono::milliseconds(config_.reply_delay_ms)))
    return;
  if (!Authorized(request, *camera_)) {
    SendReply(fd, 401, "Unauthorized", "Unauthorized\r\n",
              "WWW-Authenticate: Basic realm=\"camera\"\r\n");
    return;
  }
  Route(fd, target);
}

void HttpServer::Route(int fd, const std::string& target) {
  const size_t q = target.find('?');
  const std::string path = target.substr(0, q);
  const std::string query = q == std::string::npos ? std::string() : target.substr(q + 1);
  std::string action;
  if (path == "/cgi/admin/param.cgi" && QueryValue(query, "action", &action) && action == "list") {
    const uint32_t address = camera_->settings().address;
    const std::string text = address ? DottedAddress(address) : LocalAddress(fd);
    SendReply(fd, 200, "OK", "Network.IPAddress=" + text + "\r\n");
  } else if (path == "/cgi/admin/pwdgrp.cgi") {
    if (!ChangePassword(query))
      SendReply(fd, 400, "Bad Request", "Bad Request\r\n");
    else if (config_.fault != Fault::kSilentChange)  // else it closes without a reply
      SendReply(fd, 200, "OK", "OK\r\n");
  } else if (path == "/cgi/mjpg/mjpeg.cgi") {
    StreamPictures(fd);
  } else if (path == "/cgi/audio/audio.cgi") {
    StreamSound(fd);
  } else {
    SendReply(fd, 404, "Not Found", "Not Found\r\n");
  }
}

// "action=update&user=admin&pwd=NEW&grp=admin" with NEW of 1 to 32 letters
// or digits changes the password; anything else changes nothing.
bool HttpServer::ChangePassword(const std::string& query) {
  std::string action, user, pwd, grp;
  if (!QueryValue(query, "action", &action) || action != "update" ||
      !QueryValue(query, "user", &user) || user != "admin" || !QueryValue(query, "pwd", &pwd) ||
      !ValidPassword(pwd) || (QueryValue(query, "grp", &grp) && grp != "admin"))
    return false;
  camera_->set_password(pwd);
  return true;
}

// Sends stream part `index`, applying a per-part fault when it is the one
// chosen. False when the connection is over (peer gone, or closed on purpose).
bool HttpServer::SendPart(int fd, int index, const char* content_type, const std::string& content) {
  const bool faulty = index == config_.fault_part;
  if (faulty && config_.fault == Fault::kGarbagePart) {
    std::string garbage(3000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>('A' + i % 23);
    return SendAll(fd, garbage);
  }
  size_t announced = content.size();
  if (faulty && config_.fault == Fault::kWrongLength && announced > 100) announced -= 100;
  std::string part = "--" + config_.boundary + "\r\nContent-Type: " + content_type + "\r\n" +
                     LengthName(config_) + ": " + std::to_string(announced) + "\r\n\r\n";
  if (faulty && config_.fault == Fault::kCloseMidPart) {
    part.append(content, 0, content.size() / 2);
    SendAll(fd, part);
    return false;
  }
  part += content;
  part += "\r\n";
  return SendAll(fd, part);
}

void HttpServer::StreamPictures(int fd) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=" + config_.boundary +
      "\r\nConnection: close\r\n\r\n";
  if (!SendAll(fd, head)) return;
  const StreamConfig& s = config_.stream;
  auto generator = MakeTestPatternGenerator();
  JpegEncoder encoder;
  std::vector<uint8_t> rgb(static_cast<size_t>(s.width) * s.height * 3);
  std::vector<uint8_t> jpeg;
  const auto period = std::chrono::microseconds(1000000 / s.fps);
  const Clock::time_point start = Clock::now();
  const uint64_t start_micros = MonotonicMicros();
  uint32_t frame = 0;
  for (int sent = 0; !stopping_; ++sent) {
    // Each picture is ready before its time comes and leaves at that time,
    // as a camera sends what it has just taken.
    const auto due = frame * period;
    generator->Render(frame, s.width, s.height, rgb.data());
    if (s.stamp) {
      const uint64_t micros = start_micros + std::chrono::microseconds(due).count();
      StampPicture(rgb.data(), s.width, s.height, StampWord(frame, micros));
    }
    if (!encoder.Encode(rgb.data(), s.width, s.height, s.quality, &jpeg)) return;
    if (!SleepUnlessStopping(start + due)) return;
    std::string content = MediaHeader(frame, sent + 1, MillisSince(start),
                                      static_cast<uint32_t>(jpeg.size()), media_header::kCodecMjpg);
    content.append(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
    if (!SendPart(fd, sent, "image/jpeg", content)) return;
    // A live camera drops the pictures it could not send in time.
    ++frame;
    const uint32_t late = static_cast<uint32_t>((Clock::now() - start) / period);
    if (late > frame) frame = late;
  }
}

void HttpServer::StreamSound(int fd) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=" + config_.boundary +
      "\r\nConnection: close\r\n\r\n";
  if (!SendAll(fd, head)) return;
  const StreamConfig& s = config_.stream;
  const int rate_index = media_header::RateIndex(static_cast<uint32_t>(s.audio_rate));
  const uint32_t format = media_header::FormatWord(
      s.audio_pcm16 ? media_header::kCodecLpcm : media_header::kCodecUlaw, s.audio_pcm16,
      static_cast<uint32_t>(rate_index < 0 ? 0 : rate_index), 1);
  auto tone = MakeToneGenerator(s.tone_hz, s.audio_rate);
  const int samples = s.audio_rate / 50;  // 20 ms per packet
  const auto period = std::chrono::milliseconds(20);
  const Clock::time_point start = Clock::now();
  std::vector<int16_t> pcm;
  for (uint32_t packet = 0; !stopping_; ++packet) {
    pcm.clear();
    tone->Generate(samples, &pcm);
    std::string payload;
    for (int16_t v : pcm) {
      if (s.audio_pcm16) {
        payload.push_back(static_cast<char>(v & 0xFF));
        payload.push_back(static_cast<char>((v >> 8) & 0xFF));
      } else {
        payload.push_back(static_cast<char>(LinearToUlaw(v)));
      }
    }
    std::string content = MediaHeader(packet, packet + 1, MillisSince(start),
                                      static_cast<uint32_t>(payload.size()), format);
    content += payload;
    if (!SendPart(fd, static_cast<int>(packet), s.audio_pcm16 ? "audio/L16" : "audio/basic",
                  content))
      return;
    if (!SleepUnlessStopping(start + (packet + 1) * period)) return;
  }
}

}  // namespace camsim
