// JSON text for the page view and the automation socket.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// Compact JSON text of `value`. Texts from the network may be any bytes: a
// sequence that is not UTF-8 becomes U+FFFD instead of failing the call.
inline std::string DumpJson(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
