#include "app/profile.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/text_convert.h"

namespace {

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
    return Utf16LeToUtf8(std::string_view(bytes).substr(2));
  }
  const size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  const std::string_view text = std::string_view(bytes).substr(start);
  return IsValidUtf8(text) ? std::string(text) : Latin1ToUtf8(text);
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
  // A number beyond int stops at its end of the range instead of wrapping
  // into another number.
  const long long n = std::strtoll(e->value.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long long>(n, INT_MIN, INT_MAX));
}
