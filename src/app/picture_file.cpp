#include "app/picture_file.h"

#include <cstring>

namespace {

constexpr int kMaxNumbered = 99;

bool IsUnsafe(unsigned char c) { return c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c); }

// Cuts at most kMaxPictureNameBytes, never inside a UTF-8 sequence.
std::string CutUtf8(std::string text) {
  if (text.size() <= kMaxPictureNameBytes) return text;
  size_t end = kMaxPictureNameBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

std::string TrimSpacesAndDots(const std::string& text) {
  const size_t first = text.find_first_not_of(" .");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" .") - first + 1);
}

}  // namespace

std::string PictureFileName(const std::string& name, const std::tm& local_time) {
  std::string safe = name;
  for (char& c : safe) {
    if (IsUnsafe(static_cast<unsigned char>(c))) c = '_';
  }
  safe = TrimSpacesAndDots(CutUtf8(TrimSpacesAndDots(safe)));
  if (safe.empty()) safe = "Camera";
  char stamp[32];
  std::strftime(stamp, sizeof stamp, " %Y-%m-%d %H-%M-%S.png", &local_time);
  return safe + stamp;
}

std::string FreePicturePath(const std::string& folder, const std::string& file_name,
                            const std::function<bool(const std::string&)>& exists) {
  std::string path = folder + "/" + file_name;
  if (!exists(path)) return path;
  const std::string stem = file_name.substr(0, file_name.rfind(".png"));
  for (int n = 2; n <= kMaxNumbered; ++n) {
    path = folder + "/" + stem + " (" + std::to_string(n) + ").png";
    if (!exists(path)) return path;
  }
  return "";
}
