#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A tiny TCP server on 127.0.0.1 that plays a fixed script to every client:
// it reads the request header, sends each step's bytes followed by its pause,
// then closes (or, with `hold_open`, waits for the client to close first).
// Serves one connection at a time on its own thread.
class ScriptedServer {
 public:
  struct Step {
    std::string bytes;
    int pause_ms = 0;
  };

  explicit ScriptedServer(std::vector<Step> steps, bool hold_open = false);
  ~ScriptedServer();

  uint16_t port() const { return port_; }
  // The request header of the latest connection.
  std::string last_request() const;
  int connections() const { return connections_; }

  // `text` cut into steps of `piece` bytes, each followed by `pause_ms`.
  static std::vector<Step> Segments(const std::string& text, size_t piece, int pause_ms);

 private:
  void Run();
  void Play(int fd);

  const std::vector<Step> steps_;
  const bool hold_open_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mu_;
  std::string last_request_;  // guarded by mu_
  std::thread thread_;
};

// An HTTP reply header with the given status line and extra header lines.
std::string Reply(const std::string& status_line, const std::string& headers = "");

}  // namespace testsupport
