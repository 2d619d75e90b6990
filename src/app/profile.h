// Reads Windows-style INI files the way the Windows profile functions do.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One INI file read into memory. Section and key names match without regard
// to case and the first match wins; values are trimmed, lose one pair of
// surrounding quotes and are cut at kMaxValueChars UTF-16 units. A missing
// file, section or key reads as the caller's default. Files may be UTF-8 (with
// or without BOM) or UTF-16LE with BOM; bytes that are not UTF-8 are read as
// Latin-1. Values come back as UTF-8.
class ProfileFile {
 public:
  static constexpr int kMaxValueChars = 259;

  ProfileFile() = default;
  // False when the file can't be read; the object then holds nothing.
  bool Load(const std::string& path);
  // Parses text already in memory (any of the encodings above).
  void Parse(const std::string& bytes);

  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& fallback) const;
  // The leading decimal number of the value (optional sign); 0 when the value
  // has none; `fallback` when the key is missing.
  int GetInt(const std::string& section, const std::string& key, int fallback) const;

 private:
  struct Entry {
    size_t section;  // index into sections_
    std::string key;
    std::string value;
  };
  const Entry* Find(const std::string& section, const std::string& key) const;

  std::vector<std::string> sections_;
  std::vector<Entry> entries_;
};

// Text helpers the profile reader needs; exposed for the dialog and tests.
std::string ProfileBytesToUtf8(const std::string& bytes);
// Cuts UTF-8 text after `max_units` UTF-16 code units, never inside a character.
std::string CutToUtf16Units(const std::string& utf8, int max_units);
// ISO-8859-1 bytes (a camera's model name) as UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);
// UTF-8 from the network as valid UTF-8: each byte that starts no valid
// sequence becomes U+FFFD.
std::string RepairUtf8(std::string_view bytes);
// UTF-8 narrowed to 8-bit ISO-8859-1 text for the camera's protocols:
// characters above U+00FF become '?', as do bytes of broken sequences.
std::string Utf8ToLatin1(const std::string& utf8);
