#include "app/app_paths.h"

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
