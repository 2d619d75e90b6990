// Conversions between the texts the wizard meets: the cameras' 8-bit and
// UTF-8 texts, the configuration files' UTF-16, and the pages' UTF-8, which
// must always be valid.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Appends code point `cp` (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(uint32_t cp, std::string* out);
// Whether `text` is well-formed UTF-8 (no overlong form, surrogate or code
// point above U+10FFFF).
bool IsValidUtf8(std::string_view text);
// UTF-16LE bytes (without their byte-order mark) as UTF-8; a lone surrogate
// becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);
// Cuts UTF-8 text after `max_units` UTF-16 code units, never inside a
// character; a maximal invalid subpart counts as the one unit its U+FFFD takes.
std::string CutToUtf16Units(const std::string& utf8, int max_units);
// ISO-8859-1 bytes (a camera's model name) as UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);
// UTF-8 from the network as valid UTF-8: each maximal invalid subpart (the
// longest start of a well-formed sequence, or else one byte) becomes one
// U+FFFD, as web pages decode it. Overlong forms, encoded surrogates and code
// points above U+10FFFF are invalid like any other broken sequence.
std::string RepairUtf8(std::string_view bytes);
// UTF-8 narrowed to 8-bit ISO-8859-1 text for the camera's protocols:
// characters above U+00FF become '?', as does each maximal invalid subpart.
std::string Utf8ToLatin1(const std::string& utf8);
// Whether Utf8ToLatin1 keeps every character of `utf8`: well-formed UTF-8
// with no character above U+00FF.
bool IsLatin1Text(const std::string& utf8);
