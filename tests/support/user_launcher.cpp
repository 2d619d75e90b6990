#include "support/user_launcher.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace {

// `text` as one word for sh, inside single quotes.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Placeholders: @USER@, @GROUP@ (a number), @PROGRAM@.
constexpr char kScript[] = R"(#!/bin/sh
set -e
run=$(dirname "$QUENLO_AUTOMATION")
chown @USER@: "$run"
exec setpriv --reuid=@USER@ --regid=@GROUP@ --init-groups --inh-caps=-all --bounding-set=-all -- \
  env -i PATH=/usr/bin:/bin HOME="$run" XDG_RUNTIME_DIR="$run" LANG="${LANG:-C.UTF-8}" \
  DISPLAY="$DISPLAY" QUENLO_AUTOMATION="$QUENLO_AUTOMATION" PULSE_SERVER="$PULSE_SERVER" \
  GTK_A11Y=none NO_AT_BRIDGE=1 @PROGRAM@
)";

void Replace(std::string* text, const std::string& placeholder, const std::string& value) {
  for (size_t at = 0; (at = text->find(placeholder, at)) != std::string::npos; at += value.size())
    text->replace(at, placeholder.size(), value);
}

std::string Script(const passwd& user, const std::string& program) {
  std::string script = kScript;
  Replace(&script, "@USER@", ShellQuoted(user.pw_name));
  Replace(&script, "@GROUP@", std::to_string(user.pw_gid));
  Replace(&script, "@PROGRAM@", ShellQuoted(program));
  return script;
}

}  // namespace

UserLauncher::UserLauncher(const std::string& user, const std::string& program) {
  const passwd* entry = ::getpwnam(user.c_str());
  std::string pattern = (std::filesystem::temp_directory_path() / "quenlo-as-user-XXXXXX").string();
  if (!entry || !::mkdtemp(pattern.data())) return;
  root_ = pattern + "/";
  std::filesystem::create_directories(root_ + "bin");
  const std::string path = root_ + "bin/quenlo-setup";
  std::ofstream(path) << Script(*entry, program);
  if (::chmod(path.c_str(), 0755) == 0) uid_ = entry->pw_uid;
}

UserLauncher::~UserLauncher() {
  std::error_code ec;
  if (!root_.empty()) std::filesystem::remove_all(root_, ec);
}
