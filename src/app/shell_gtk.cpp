#include "app/shell_gtk.h"

#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "app/launch_target.h"

namespace {

// A program: executable and starting as a program file does. On a medium
// whose file system marks every file executable, a document then still goes
// to its viewer instead of being run by the shell.
bool IsProgramFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0) {
    return false;
  }
  char magic[4] = {};
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const size_t n = std::fread(magic, 1, sizeof(magic), file);
  std::fclose(file);
  return (n >= 2 && magic[0] == '#' && magic[1] == '!') ||
         (n == 4 && std::memcmp(magic, "\177ELF", 4) == 0);
}

// Web addresses go to the desktop's browser; an absolute file path is run
// when it is a program, else opened with its default application. The
// dialog has checked the target (ResolveLaunchTarget); anything else, such
// as a relative path, is dropped.
void LaunchTarget(const std::string& target) {
  GError* error = nullptr;
  if (IsWebAddress(target)) {
    g_app_info_launch_default_for_uri(target.c_str(), nullptr, &error);
  } else if (g_path_is_absolute(target.c_str()) && IsProgramFile(target)) {
    gchar* argv[] = {const_cast<gchar*>(target.c_str()), nullptr};
    g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
  } else if (g_path_is_absolute(target.c_str())) {
    gchar* uri = g_filename_to_uri(target.c_str(), nullptr, nullptr);
    if (uri) g_app_info_launch_default_for_uri(uri, nullptr, &error);
    g_free(uri);
  }
  if (error) g_error_free(error);  // failures are silent
}

}  // namespace

void ShellGtk::Open(const std::string& target) {
  if (record_launches_) {
    launched_.push_back(target);
    return;
  }
  if (!target.empty()) LaunchTarget(target);
}
