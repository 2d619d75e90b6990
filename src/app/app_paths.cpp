#include "app/app_paths.h"

#include <algorithm>
#include <filesystem>

namespace {

// Keeps the text up to and including its last '/'; unchanged when none.
void CutAfterLastSlash(std::string* path) {
  size_t slash = path->rfind('/');
  if (slash != std::string::npos) path->resize(slash + 1);
}

}  // namespace

std::string BaseFolderFromExecutable(const std::string& exe_path) {
  std::string base = exe_path;
  CutAfterLastSlash(&base);
  if (base.find('/') != std::string::npos) base.pop_back();
  CutAfterLastSlash(&base);
  return base;
}

std::string HtmlFolderFromBase(const std::string& base_folder) { return base_folder + "HTML/"; }

bool PathInsideFolder(const std::string& path, const std::string& folder) {
  namespace fs = std::filesystem;
  if (!fs::path(path).is_absolute() || !fs::path(folder).is_absolute()) return false;
  std::error_code error;
  const fs::path root = fs::canonical(folder, error);
  if (error) return false;
  const fs::path full = fs::weakly_canonical(path, error);
  if (error) return false;
  const auto [in_root, in_full] = std::mismatch(root.begin(), root.end(), full.begin(), full.end());
  return in_root == root.end() && in_full != full.end();
}
