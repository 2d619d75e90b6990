#include "app/text_convert.h"

#include <cstdint>

namespace {

// One step through UTF-8 text: the well-formed sequence at s[i], or else its
// maximal invalid subpart (the longest start of a well-formed sequence there,
// at least one byte), which becomes one U+FFFD. Overlong forms, surrogates
// and code points above U+10FFFF are not well-formed: the ranges of the
// second byte below exclude them.
struct Utf8Step {
  size_t length;
  bool valid;
};

Utf8Step NextUtf8(std::string_view s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return {1, true};
  size_t trail;
  unsigned char low = 0x80, high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    trail = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    trail = 2;
    if (c == 0xE0) low = 0xA0;   // below: overlong
    if (c == 0xED) high = 0x9F;  // above: surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    trail = 3;
    if (c == 0xF0) low = 0x90;   // below: overlong
    if (c == 0xF4) high = 0x8F;  // above: past U+10FFFF
  } else {
    return {1, false};
  }
  size_t k = 1;
  for (; k <= trail && i + k < s.size(); ++k) {
    const unsigned char b = static_cast<unsigned char>(s[i + k]);
    if (b < low || b > high) return {k, false};
    low = 0x80;
    high = 0xBF;
  }
  return {k, k > trail};
}

}  // namespace

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

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const Utf8Step step = NextUtf8(s, i);
    if (!step.valid) return false;
    i += step.length;
  }
  return true;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
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

std::string CutToUtf16Units(const std::string& utf8, int max_units) {
  int units = 0;
  for (size_t i = 0; i < utf8.size();) {
    const Utf8Step step = NextUtf8(utf8, i);
    const int needed = step.valid && step.length == 4 ? 2 : 1;
    if (units + needed > max_units) return utf8.substr(0, i);
    units += needed;
    i += step.length;
  }
  return utf8;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) AppendUtf8(c, &out);
  return out;
}

std::string RepairUtf8(std::string_view bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size();) {
    const Utf8Step step = NextUtf8(bytes, i);
    if (step.valid)
      out.append(bytes.substr(i, step.length));
    else
      AppendUtf8(0xFFFD, &out);
    i += step.length;
  }
  return out;
}

std::string Utf8ToLatin1(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const Utf8Step step = NextUtf8(utf8, i);
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (step.valid && step.length == 1) {
      out.push_back(static_cast<char>(c));
    } else if (step.valid && step.length == 2 && c <= 0xC3) {  // U+0080 to U+00FF
      out.push_back(static_cast<char>(((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F)));
    } else {
      out.push_back('?');
    }
    i += step.length;
  }
  return out;
}

bool IsLatin1Text(const std::string& utf8) {
  for (size_t i = 0; i < utf8.size();) {
    const Utf8Step step = NextUtf8(utf8, i);
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (!step.valid || step.length > 2 || (step.length == 2 && c > 0xC3)) return false;
    i += step.length;
  }
  return true;
}
