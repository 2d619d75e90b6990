#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace camsim {

// One simulated camera: what it tells about itself and the settings a client
// can change. Its HTTP side and its discovery side share one object, so a
// password changed over HTTP is the one the discovery side checks, and an
// address set over discovery is the one HTTP listings report.
// Thread-safe: every accessor takes mu_.
class SimCamera {
 public:
  struct Settings {
    uint32_t address = 0;  // IPv4, network byte order
    uint32_t mask = 0;
    uint32_t gateway = 0;
    bool dhcp = false;
  };

  SimCamera(std::array<uint8_t, 6> mac, std::string model, std::string name, uint16_t http_port,
            std::string password)
      : mac_(mac),
        model_(std::move(model)),
        name_(std::move(name)),
        http_port_(http_port),
        password_(std::move(password)) {}

  const std::array<uint8_t, 6>& mac() const { return mac_; }
  const std::string& model() const { return model_; }
  const std::string& name() const { return name_; }
  uint16_t http_port() const { return http_port_; }

  std::string password() const {
    std::lock_guard<std::mutex> lock(mu_);
    return password_;
  }
  void set_password(std::string password) {
    std::lock_guard<std::mutex> lock(mu_);
    password_ = std::move(password);
  }

  Settings settings() const {
    std::lock_guard<std::mutex> lock(mu_);
    return settings_;
  }
  void set_settings(const Settings& settings) {
    std::lock_guard<std::mutex> lock(mu_);
    settings_ = settings;
  }

 private:
  const std::array<uint8_t, 6> mac_;
  const std::string model_;
  const std::string name_;  // UTF-8
  const uint16_t http_port_;
  mutable std::mutex mu_;
  std::string password_;  // guarded by mu_
  Settings settings_;     // guarded by mu_
};

}  // namespace camsim
