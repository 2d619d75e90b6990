// The medium's configuration file in any encoding: every value read back
// must be well-formed UTF-8 of at most 259 UTF-16 units, as the reader
// promises, and the text conversions must keep their promises too.
#include <string>
#include <vector>

#include "app/profile.h"
#include "app/text_convert.h"
#include "fuzz_support.h"

namespace {

std::string Trimmed(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// Up to 16 section and 64 key names the text seems to hold, to ask for.
void CollectNames(const std::string& text, std::vector<std::string>* sections,
                  std::vector<std::string>* keys) {
  size_t start = 0;
  while (start < text.size() && sections->size() < 16 && keys->size() < 64) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t open = line.find('['), close = line.find(']'), eq = line.find('=');
    if (open != std::string::npos && close != std::string::npos && open < close)
      sections->push_back(Trimmed(line.substr(open + 1, close - open - 1)));
    else if (eq != std::string::npos)
      keys->push_back(Trimmed(line.substr(0, eq)));
    start = end + 1;
  }
}

size_t Utf16Units(const std::string& utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) units += (c & 0xC0) != 0x80 ? ((c & 0xF8) == 0xF0 ? 2 : 1) : 0;
  return units;
}

void CheckConversions(const std::string& bytes) {
  const std::string repaired = RepairUtf8(bytes);
  fuzz::Require(fuzz::IsWellFormedUtf8(repaired));
  fuzz::Require(!fuzz::IsWellFormedUtf8(bytes) || repaired == bytes);
  fuzz::Require(Utf8ToLatin1(Latin1ToUtf8(bytes)) == bytes);
  fuzz::Require(Utf8ToLatin1(bytes).size() <= bytes.size());
  const std::string cut = CutToUtf16Units(repaired, 7);
  fuzz::Require(repaired.compare(0, cut.size(), cut) == 0);
  fuzz::Require(fuzz::IsWellFormedUtf8(cut) && Utf16Units(cut) <= 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  CheckConversions(bytes);
  const std::string text = ProfileBytesToUtf8(bytes);
  fuzz::Require(fuzz::IsWellFormedUtf8(text));
  ProfileFile profile;
  profile.Parse(bytes);
  std::vector<std::string> sections = {"System"}, keys = {"Title"};
  CollectNames(text, &sections, &keys);
  for (const std::string& section : sections) {
    for (const std::string& key : keys) {
      const std::string value = profile.GetString(section, key, "");
      fuzz::Require(fuzz::IsWellFormedUtf8(value));
      fuzz::Require(Utf16Units(value) <= ProfileFile::kMaxValueChars);
      static_cast<void>(profile.GetInt(section, key, 0));
    }
  }
  return 0;
}
