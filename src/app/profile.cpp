#include "app/profile.h"

#include <strings.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

void AppendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not valid.
size_t Utf8SequenceLength(const std::string& s, size_t i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (len == 0 || i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  return len;
}

bool IsValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    size_t len = Utf8SequenceLength(s, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string Utf16LeToUtf8(const std::string& bytes, size_t start) {
  std::string out;
  for (size_t i = start; i + 1 < bytes.size(); i += 2) {
    uint32_t unit =
        static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t low = static_cast<unsigned char>(bytes[i + 2]) |
                     (static_cast<unsigned char>(bytes[i + 3]) << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;  // lone surrogate
    AppendUtf8(unit, &out);
  }
  return out;
}

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r\n\v\f";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

std::string Unquote(const std::string& s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
    return s.substr(1, s.size() - 2);
  }
  return s;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

std::string ProfileBytesToUtf8(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    return Utf16LeToUtf8(bytes, 2);
  }
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::string text = bytes.substr(start);
  if (IsValidUtf8(text)) return text;
  std::string latin;
  for (unsigned char c : text) AppendUtf8(c, &latin);
  return latin;
}

std::string CutToUtf16Units(const std::string& utf8, int max_units) {
  int units = 0;
  for (size_t i = 0; i < utf8.size();) {
    size_t len = Utf8SequenceLength(utf8, i);
    if (len == 0) len = 1;
    int needed = len == 4 ? 2 : 1;
    if (units + needed > max_units) return utf8.substr(0, i);
    units += needed;
    i += len;
  }
  return utf8;
}

bool ProfileFile::Load(const std::string& path) {
  entries_.clear();
  sections_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Parse(bytes);
  return true;
}

void ProfileFile::Parse(const std::string& bytes) {
  entries_.clear();
  sections_.clear();
  std::istringstream lines(ProfileBytesToUtf8(bytes));
  std::string line;
  while (std::getline(lines, line)) {
    std::string text = Trim(line);
    if (text.empty() || text[0] == ';') continue;
    if (text[0] == '[') {
      size_t close = text.find(']');
      sections_.push_back(
          Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      continue;
    }
    size_t eq = text.find('=');
    if (sections_.empty() || eq == std::string::npos) continue;
    entries_.push_back(
        {sections_.size() - 1, Trim(text.substr(0, eq)), Unquote(Trim(text.substr(eq + 1)))});
  }
}

const ProfileFile::Entry* ProfileFile::Find(const std::string& section,
                                            const std::string& key) const {
  // Only the first section of that name counts, as does the first key in it.
  size_t index = 0;
  while (index < sections_.size() && !SameName(sections_[index], section)) ++index;
  for (const Entry& e : entries_) {
    if (e.section == index && SameName(e.key, key)) return &e;
  }
  return nullptr;
}

std::string ProfileFile::GetString(const std::string& section, const std::string& key,
                                   const std::string& fallback) const {
  const Entry* e = Find(section, key);
  return CutToUtf16Units(e ? e->value : fallback, kMaxValueChars);
}

int ProfileFile::GetInt(const std::string& section, const std::string& key, int fallback) const {
  const Entry* e = Find(section, key);
  if (!e) return fallback;
  return static_cast<int>(std::strtol(e->value.c_str(), nullptr, 10));
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) AppendUtf8(c, &out);
  return out;
}

std::string RepairUtf8(std::string_view bytes) {
  const std::string text(bytes);
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const size_t len = Utf8SequenceLength(text, i);
    if (len == 0) {
      AppendUtf8(0xFFFD, &out);
      ++i;
    } else {
      out.append(text, i, len);
      i += len;
    }
  }
  return out;
}

std::string Utf8ToLatin1(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const size_t len = Utf8SequenceLength(utf8, i);
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (len == 1) {
      out.push_back(static_cast<char>(c));
    } else if (len == 2 && c >= 0xC2 && c <= 0xC3) {  // U+0080 to U+00FF
      out.push_back(static_cast<char>(((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F)));
    } else {
      out.push_back('?');
    }
    i += len == 0 ? 1 : len;
  }
  return out;
}
