// One line of the automation socket: whatever the line holds, the check
// answers without throwing, an accepted request names a known command and
// holds what the line said, and every error reply is JSON a client can read.
#include <nlohmann/json.hpp>
#include <string>

#include "app/automation_request.h"
#include "fuzz_support.h"

using nlohmann::json;

namespace {

// The field of an accepted request that the line must have held as it is.
void RequireField(const json& line, const char* name, const std::string& held) {
  const auto value = line.find(name);
  if (value == line.end()) {
    fuzz::Require(held.empty());
    return;
  }
  fuzz::Require(value->is_string() && value->get<std::string>() == held);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  AutomationRequest request;
  std::string error;
  if (!ParseAutomationRequest(line, &request, &error)) {
    fuzz::Require(!error.empty());
    const json reply = json::parse(AutomationErrorReply(error), nullptr, false);
    fuzz::Require(reply.is_object() && reply.at("ok") == false && reply.at("error") == error);
    // A reply to text that is not UTF-8 must still be JSON.
    fuzz::Require(!json::parse(AutomationErrorReply(line), nullptr, false).is_discarded());
    return 0;
  }
  const json parsed = json::parse(line);
  fuzz::Require(parsed.at("cmd") == request.cmd);
  if (request.cmd == "click" || request.cmd == "set" || request.cmd == "check")
    RequireField(parsed, "id", request.id);
  if (request.cmd == "set") RequireField(parsed, "value", request.value);
  if (request.cmd == "check") fuzz::Require(parsed.at("checked") == request.checked);
  if (request.cmd == "eval") RequireField(parsed, "js", request.js);
  if (request.cmd == "screenshot") RequireField(parsed, "path", request.path);
  if (request.cmd == "dismiss") RequireField(parsed, "button", request.button);
  return 0;
}
