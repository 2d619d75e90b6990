#pragma once

#include <cstddef>

// Standard padded Base64 (RFC 4648 alphabet, no line breaks) of `n` input bytes
// into `dest`. The first `size` bytes of `dest` are zeroed first, so the text is
// NUL-terminated when `size` is at least ((n + 2) / 3) * 4 + 1, which callers
// compute and check before calling. Never reads past input[n - 1] and never
// writes past dest[size - 1]. Returns `size`.
int Base64Encode(char* dest, int n, const unsigned char* input, int size);

// The size Base64Encode needs for `n` input bytes, terminator included.
constexpr int Base64EncodedSize(int n) { return ((n + 2) / 3) * 4 + 1; }
