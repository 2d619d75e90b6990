#include "net/base64.h"

#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

int Base64Encode(char* dest, int n, const unsigned char* input, int size) {
  if (size <= 0) return size;
  std::memset(dest, 0, static_cast<size_t>(size));
  int out = 0;
  // Bytes past the end of the input count as zero: only the pad decides
  // what the last group shows, so nothing beyond input[n - 1] is read.
  for (int i = 0; n - i > 0 && out + 4 <= size; i += 3) {
    const int left = n - i;
    const unsigned b0 = input[i];
    const unsigned b1 = left > 1 ? input[i + 1] : 0;
    const unsigned b2 = left > 2 ? input[i + 2] : 0;
    dest[out++] = kAlphabet[b0 >> 2];
    dest[out++] = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
    dest[out++] = left < 2 ? '=' : kAlphabet[((b1 & 15) << 2) | (b2 >> 6)];
    dest[out++] = left < 3 ? '=' : kAlphabet[b2 & 63];
  }
  return size;
}
