#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {

ScriptedServer::ScriptedServer(std::vector<Step> steps, bool hold_open)
    : steps_(std::move(steps)), hold_open_(hold_open) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      listen(listen_fd_, 8) == 0 &&
      getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptedServer::~ScriptedServer() {
  stopping_ = true;
  thread_.join();
  close(listen_fd_);
}

std::string ScriptedServer::last_request() const {
  std::lock_guard<std::mutex> lock(mu_);
  return last_request_;
}

std::vector<ScriptedServer::Step> ScriptedServer::Segments(const std::string& text, size_t piece,
                                                           int pause_ms) {
  std::vector<Step> steps;
  for (size_t i = 0; i < text.size(); i += piece)
    steps.push_back({text.substr(i, piece), pause_ms});
  return steps;
}

void ScriptedServer::Run() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    Play(fd);
    close(fd);
  }
}

// Waits up to 100 ms for the socket to become readable; false when stopping.
static bool WaitReadable(int fd, const std::atomic<bool>& stopping) {
  while (!stopping) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) > 0) return true;
  }
  return false;
}

void ScriptedServer::Play(int fd) {
  std::string request;
  char chunk[512];
  while (request.find("\r\n\r\n") == std::string::npos && WaitReadable(fd, stopping_)) {
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    request.append(chunk, static_cast<size_t>(n));
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    last_request_ = request;
  }
  for (const Step& step : steps_) {
    if (stopping_) return;
    if (!step.bytes.empty() &&
        send(fd, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL) != ssize_t(step.bytes.size()))
      return;
    if (step.pause_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.pause_ms));
  }
  if (!hold_open_) return;
  while (WaitReadable(fd, stopping_))
    if (recv(fd, chunk, sizeof chunk, 0) <= 0) return;
}

std::string Reply(const std::string& status_line, const std::string& headers) {
  return status_line + "\r\n" + headers + "\r\n";
}

}  // namespace testsupport
