#include "app/picture_file.h"

#include <cstring>

namespace {

constexpr int kMaxNumbered = 99;

bool IsUnsafe(unsigned char c) { return c != 0 && std::strchr("/\\:*?\"<>|", c) != nullptr; }

// Control characters (C0, DEL, C1) and the marks, embeddings, overrides
// and isolates of text direction: a file manager or a shell would show the
// name in another order than it is, or not at all.
bool IsDropped(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The length of the UTF-8 sequence at `text[at]` and its code point, or 0
// for a byte that starts no whole, shortest-form sequence of a character.
size_t DecodeUtf8(const std::string& text, size_t at, char32_t* code) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  const size_t length = lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  char32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = value << 6 | (next & 0x3F);
  }
  constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kShortest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return 0;
  *code = value;
  return length;
}

// Drops what IsDropped names; a byte that is no part of a whole UTF-8
// sequence, and each unsafe character, becomes '_'.
std::string CleanName(const std::string& name) {
  std::string clean;
  for (size_t at = 0; at < name.size();) {
    char32_t code = 0;
    const size_t length = DecodeUtf8(name, at, &code);
    if (length == 0) {
      clean += '_';
      ++at;
      continue;
    }
    if (code < 0x80 && IsUnsafe(static_cast<unsigned char>(code))) {
      clean += '_';
    } else if (!IsDropped(code)) {
      clean.append(name, at, length);
    }
    at += length;
  }
  return clean;
}

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
  std::string safe = TrimSpacesAndDots(CutUtf8(TrimSpacesAndDots(CleanName(name))));
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
