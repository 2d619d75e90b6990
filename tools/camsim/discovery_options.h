#pragma once

#include <memory>
#include <string>
#include <vector>

#include "discovery_responder.h"
#include "sim_camera.h"

namespace camsim {

// The simulator's command-line options for its discovery side.
struct DiscoveryOptions {
  DiscoveryConfig config;
  uint32_t address = 0;  // first camera's address; the others count up
  uint32_t mask = 0;
  uint32_t gateway = 0;
};

extern const char kDiscoveryUsage[];

bool IsDiscoveryOption(const std::string& option);
// Applies one discovery option; false when its value is wrong.
bool ApplyDiscoveryOption(const std::string& option, const char* value, DiscoveryOptions* o);
// How the value of an option that takes an address is written, for the
// usage error; empty for the other options.
std::string AddressOptionForm(const std::string& option);

// Gives the cameras their addresses and starts answering discovery when an
// interface or an address was given (`responder` stays null otherwise).
// False with `err` when the responder cannot start.
bool StartDiscovery(const DiscoveryOptions& options,
                    const std::vector<std::unique_ptr<SimCamera>>& cameras,
                    std::unique_ptr<DiscoveryResponder>* responder, std::string* err);

}  // namespace camsim
