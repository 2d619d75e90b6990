// The small text files the kernel and the system keep (/proc tables,
// resolv.conf, sysctl values): read whole, then taken apart by lines and by
// blank-separated words.
#pragma once

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

// The whole file, or "" when it can't be read.
inline std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The words of `line`, separated by blanks and tabs.
inline std::vector<std::string_view> SplitWords(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while ((i = line.find_first_not_of(" \t", i)) != std::string_view::npos) {
    const size_t end = std::min(line.find_first_of(" \t", i), line.size());
    words.push_back(line.substr(i, end - i));
    i = end;
  }
  return words;
}

// Calls `fn` with each line of `text`, without its '\n'.
template <typename Fn>
void ForEachLine(std::string_view text, Fn fn) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    fn(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}
