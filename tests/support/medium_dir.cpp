#include "support/medium_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

MediumDir::MediumDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quenlo-medium-XXXXXX").string();
  root_ = std::string(mkdtemp(pattern.data())) + "/";
  std::filesystem::create_directories(root_ + "bin");
  std::filesystem::create_directories(root_ + "HTML");
}

MediumDir::~MediumDir() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void MediumDir::WriteHtmlFile(const std::string& name, const std::string& bytes) const {
  std::ofstream(HtmlFolder() + name, std::ios::binary) << bytes;
}
