#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "sim_camera.h"

namespace camsim {

// Misbehaviour on request, so that tests can see how a client copes.
enum class Fault {
  kNone,
  kStallHeader,      // read the request, then never answer
  kCloseMidPart,     // close the connection halfway through stream part `fault_part`
  kWrongLength,      // part `fault_part` announces 100 bytes fewer than it carries
  kGarbagePart,      // part `fault_part` is replaced by 3000 bytes that are no part at all
  kLowercaseLength,  // every reply and part spells its length header "content-length"
  kSlowDripHeader,   // command replies go one byte at a time, `drip_ms` apart
  kSlowDripBody,     // command replies' headers go at once, their bodies drip
  kSilentChange,     // a password change is made, then the connection closes unanswered
};

struct StreamConfig {
  int width = 640;
  int height = 480;
  int fps = 15;
  int quality = 75;
  bool audio_pcm16 = false;  // else mu-law, 8 bits
  int audio_rate = 8000;     // one of 8000, 11000, 24000, 44000, 48000
  double tone_hz = 440;
  bool stamp = false;  // send times written into the pictures (time_stamp.h)
};

struct HttpConfig {
  std::string listen_address = "0.0.0.0";
  uint16_t port = 80;
  std::string boundary = "quenloframe";
  StreamConfig stream;
  Fault fault = Fault::kNone;
  int reply_delay_ms = 0;  // a slow camera: commands are answered this late
  int fault_part = 2;      // 0-based index of the stream part a per-part fault hits
  // The pause between the bytes of a dripping reply: within a client's
  // receive time-out, so that no single receive fails.
  int drip_ms = 4000;
};

// The camera's HTTP side: one thread accepts, one thread serves each
// connection, one request per connection. Listen, Start and Stop are called
// from one controlling thread; the camera is shared with the discovery side.
class HttpServer {
 public:
  explicit HttpServer(HttpConfig config);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and listens; on failure returns false and describes why in `err`.
  bool Listen(std::string* err);
  // The port actually bound (useful when the configured port was 0).
  uint16_t port() const { return port_; }
  // Serves requests for `camera` (borrowed; must outlive Stop) until Stop.
  void Start(SimCamera* camera);
  // Stops accepting, breaks every open connection and waits for their threads.
  void Stop();

 private:
  void AcceptLoop();
  void Serve(int fd);
  void Handle(int fd);
  void Route(int fd, const std::string& target);
  bool ChangePassword(const std::string& query);
  // A command's reply, sent as the reply faults say.
  bool SendReply(int fd, int status, const char* reason, const std::string& body,
                 const char* extra_headers = "");
  bool SendDripping(int fd, const char* data, size_t size);
  bool SleepUnlessStopping(std::chrono::steady_clock::time_point until);
  void StreamPictures(int fd);
  void StreamSound(int fd);
  bool SendPart(int fd, int index, const char* content_type, const std::string& content);

  const HttpConfig config_;
  SimCamera* camera_ = nullptr;  // set by Start before any thread runs
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::thread acceptor_;
  std::atomic<bool> stopping_{false};

  std::mutex mu_;
  std::condition_variable cv_;  // signalled when a connection ends or Stop begins
  std::set<int> open_fds_;      // guarded by mu_
  int active_ = 0;              // connection threads still running; guarded by mu_
};

}  // namespace camsim
