#include "app/launch_target.h"

#include <cctype>
#include <filesystem>

#include "app/app_paths.h"

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// "letter (letter | digit | + | - | .)* :" at the start, as URIs begin.
bool HasScheme(const std::string& target) {
  if (target.empty() || !std::isalpha(static_cast<unsigned char>(target[0]))) return false;
  for (char c : target) {
    if (c == ':') return true;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
      return false;
    }
  }
  return false;
}

}  // namespace

bool IsWebAddress(const std::string& target) {
  for (const char* prefix : {"http://", "https://"}) {
    const std::string p = prefix;
    if (StartsWithNoCase(target, p) && target.size() > p.size()) return true;
  }
  return false;
}

std::optional<std::string> ResolveLaunchTarget(const std::string& target,
                                               const std::string& medium_root) {
  if (IsWebAddress(target)) return target;
  if (target.empty() || HasScheme(target)) return std::nullopt;
  const std::string path = target[0] == '/' ? target : medium_root + target;
  if (!PathInsideFolder(path, medium_root)) return std::nullopt;
  std::error_code error;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
  if (error) return std::nullopt;
  return canonical.string();
}
