#include "app/automation_request.h"

#include <nlohmann/json.hpp>

#include "app/json_text.h"

using nlohmann::json;

namespace {

enum class Kind { kString, kBool };

struct Field {
  const char* name;
  Kind kind;
  bool required;
};

struct Command {
  const char* name;
  Field fields[2];
  int count;
};

const Command kCommands[] = {
    {"page", {}, 0},
    {"click", {{"id", Kind::kString, true}}, 1},
    {"set", {{"id", Kind::kString, true}, {"value", Kind::kString, true}}, 2},
    {"check", {{"id", Kind::kString, true}, {"checked", Kind::kBool, true}}, 2},
    {"eval", {{"js", Kind::kString, true}}, 1},
    {"messagebox", {}, 0},
    {"dismiss", {{"button", Kind::kString, false}}, 1},
    {"live", {}, 0},
    {"live-open", {{"button", Kind::kString, false}}, 1},
    {"live-viewer", {}, 0},
    {"live-mute", {}, 0},
    {"live-save", {}, 0},
    {"live-close", {}, 0},
    {"live-screenshot", {{"path", Kind::kString, true}}, 1},
    {"launched", {}, 0},
    {"screenshot", {{"path", Kind::kString, true}}, 1},
    {"window", {}, 0},
    {"about", {}, 0},
    {"close", {}, 0},
    {"quit", {}, 0},
};

// Where each field's value goes.
void Store(const std::string& name, const json& value, AutomationRequest* request) {
  if (name == "checked") {
    request->checked = value.get<bool>();
    return;
  }
  std::string* target = name == "id"      ? &request->id
                        : name == "value" ? &request->value
                        : name == "js"    ? &request->js
                        : name == "path"  ? &request->path
                                          : &request->button;
  *target = value.get<std::string>();
}

}  // namespace

bool ParseAutomationRequest(const std::string& line, AutomationRequest* request,
                            std::string* error) {
  if (line.size() > kMaxAutomationLine) {
    *error = "request too long";
    return false;
  }
  const json parsed = json::parse(line, nullptr, false);
  if (parsed.is_discarded()) {
    *error = "not JSON";
    return false;
  }
  if (!parsed.is_object()) {
    *error = "not a JSON object";
    return false;
  }
  const auto cmd = parsed.find("cmd");
  if (cmd == parsed.end() || !cmd->is_string()) {
    *error = "\"cmd\" must be a string";
    return false;
  }
  for (const Command& command : kCommands) {
    if (*cmd != command.name) continue;
    *request = AutomationRequest{};
    request->cmd = command.name;
    for (int i = 0; i < command.count; ++i) {
      const Field& field = command.fields[i];
      const auto value = parsed.find(field.name);
      if (value == parsed.end()) {
        if (!field.required) continue;
        *error = std::string("missing \"") + field.name + "\"";
        return false;
      }
      if (field.kind == Kind::kString ? !value->is_string() : !value->is_boolean()) {
        *error = std::string("\"") + field.name + "\" must be a " +
                 (field.kind == Kind::kString ? "string" : "boolean");
        return false;
      }
      Store(field.name, *value, request);
    }
    return true;
  }
  *error = "unknown command";
  return false;
}

std::string AutomationErrorReply(const std::string& text) {
  return DumpJson(json{{"ok", false}, {"error", text}});
}
