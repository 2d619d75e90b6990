// The configuration files of the medium (Config.ini, Message.ini): sections
// in brackets, key=value lines, read once and never written.
#pragma once

#include <string>
#include <vector>

// One INI file read into memory. The rules: section and key names match
// without regard to case, and the first section of a name wins, as does the
// first key in it; a line is a comment only when ';' starts it; values are
// trimmed, lose one pair of surrounding quotes and are cut at kMaxValueChars
// UTF-16 units; indented lines continue nothing. A missing file, section or
// key reads as the caller's default. Files may be UTF-8 (with or without
// BOM) or UTF-16LE with BOM; bytes that are not UTF-8 are read as Latin-1.
// Values come back as valid UTF-8.
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
  // The leading decimal number of the value (optional sign), held at the
  // limits of int; 0 when the value has none; `fallback` when the key is missing.
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

// The text of a profile file as UTF-8: UTF-16LE with its byte-order mark,
// UTF-8 with or without one, and anything else read as Latin-1.
std::string ProfileBytesToUtf8(const std::string& bytes);
