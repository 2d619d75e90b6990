// What the fuzz targets share: a connection fed from memory through a socket
// pair (no network socket), and a check of UTF-8 that does not reuse the
// decoder under test.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/socket.h"

namespace fuzz {

// Inputs up to this size fit a socket pair's buffer with room to spare, so
// the whole input is written before anything is read, on one thread.
constexpr size_t kMaxFeed = 65536;

// Hands `socket` the reading end of a socket pair holding `size` bytes and
// then an orderly close: every read gets data or the end at once, and no
// receive time-out can stall the fuzzer. With `writer`, the writing end
// stays open instead and goes there (the caller closes it): a camera that
// has stopped sending without closing. False when the bytes did not fit.
inline bool FeedSocket(NSocket& socket, const uint8_t* data, size_t size, int* writer = nullptr) {
  int fds[2];
  if (size > kMaxFeed || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = send(fds[0], data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  if (sent < size || !writer) close(fds[0]);
  if (sent < size) {
    close(fds[1]);
    return false;
  }
  if (writer) *writer = fds[0];
  return socket.Adopt(fds[1]);
}

// Well-formed UTF-8: every sequence decodes to a scalar value in its shortest
// form (no surrogate, nothing above U+10FFFF).
inline bool IsWellFormedUtf8(std::string_view s) {
  static constexpr uint32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int trail = c < 0x80             ? 0
                      : (c & 0xE0) == 0xC0 ? 1
                      : (c & 0xF0) == 0xE0 ? 2
                      : (c & 0xF8) == 0xF0 ? 3
                                           : -1;
    if (trail < 0 || s.size() - i <= static_cast<size_t>(trail)) return false;
    uint32_t cp = trail == 0 ? c : c & (0x3Fu >> trail);
    for (int k = 1; k <= trail; ++k) {
      const auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((b & 0xC0) != 0x80) return false;
      cp = cp << 6 | (b & 0x3Fu);
    }
    if (cp < kShortest[trail] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += static_cast<size_t>(trail) + 1;
  }
  return true;
}

inline volatile uint8_t g_sink;

// Reads every byte, so that the sanitizer sees whether all of them are there.
inline void ReadAll(const uint8_t* data, size_t size) {
  uint8_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum ^= data[i];
  g_sink = sum;
}

// Stops the run with a reproducer when a promise of the code under test fails.
inline void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace fuzz
