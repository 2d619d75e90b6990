// One request line of the automation socket, checked before anything runs:
// a JSON object with a known "cmd" and the fields that command needs, of
// the right JSON types.
#pragma once

#include <string>

struct AutomationRequest {
  std::string cmd;
  std::string id;        // click, set, check
  std::string value;     // set
  bool checked = false;  // check
  std::string js;        // eval
  std::string path;      // screenshot, live-screenshot
  std::string button;    // dismiss (empty: OK); live-open ("Enter": the key, else a click)
};

// Longest request line taken; a longer one is answered with an error.
constexpr size_t kMaxAutomationLine = 1 << 20;

// False with a short English `error` for a line that is not JSON, not an
// object, names no known command, or lacks a field or has one of the wrong
// type. Never throws.
bool ParseAutomationRequest(const std::string& line, AutomationRequest* request,
                            std::string* error);
// {"ok":false,"error":<text>} (text that is not UTF-8 is repaired).
std::string AutomationErrorReply(const std::string& text);
