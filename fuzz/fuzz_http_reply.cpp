// A camera's HTTP reply as NHttp reads it: the header and its status, header
// values, and the body in reads of a size the input chooses. The first two
// bytes choose the reads; a second byte of 0xFF also keeps the connection
// open after the reply, as a camera that drips its reply does once the
// command's deadline has passed: every read then ends by the deadline. The
// rest is the reply.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "net/http.h"

namespace {

constexpr int kMaxBody = 1 << 20;
// Such an input waits for the deadline: it is kept short, and the choice
// rare, so that the fuzzer keeps its pace.
constexpr int kHeldOpenDeadlineMs = 1;
constexpr uint8_t kHeldOpen = 0xFF;

// A value FindHeaderValue gives must lie inside the header text, and a number
// ParseDecimal accepts must be the one the text spells.
void CheckValue(const char* header, const char* name, char separator) {
  const char* value = nullptr;
  int length = -1;
  if (!FindHeaderValue(header, name, separator, &value, &length)) return;
  const size_t header_length = std::strlen(header);
  fuzz::Require(length >= 0 && value > header);
  fuzz::Require(value + length <= header + header_length);
  int number = -1;
  if (ParseDecimal(value, length, kMaxBody, &number))
    fuzz::Require(number >= 0 && number <= kMaxBody && std::atoll(value) == number);
}

void ReadBody(NHttp& http, const char* header, int chunk) {
  const char* value = nullptr;
  int length = 0;
  int content_length = -1;
  if (FindHeaderValue(header, "Content-Length", ':', &value, &length))
    ParseDecimal(value, length, kMaxBody, &content_length);
  if (content_length > 0) {
    auto body = std::make_unique<char[]>(static_cast<size_t>(content_length));
    const int r = http.ReadExact(body.get(), content_length);
    fuzz::Require(r == content_length || r <= 0);
    return;
  }
  auto piece = std::make_unique<char[]>(static_cast<size_t>(chunk));
  for (int n = 1; n > 0;) {
    static_cast<void>(http.WaitForData(0));
    n = http.ReadSome(piece.get(), chunk);
    fuzz::Require(n <= chunk);
  }
}

int ReadReply(NHttp& http, int chunk) {
  const char* header = nullptr;
  const int status = http.ReceiveHeader(&header);
  if (status <= 0) return 0;
  fuzz::Require(status >= 100 && status <= 999 && header != nullptr);
  const size_t header_length = std::strlen(header);
  fuzz::Require(header_length >= 2 && header_length < NHttp::kBufferSize);
  fuzz::Require(std::memcmp(header + header_length - 2, "\r\n", 2) == 0);
  CheckValue(header, "Content-Length", ':');
  CheckValue(header, "Content-Type", ':');
  CheckValue(header, "boundary", '=');
  ReadBody(http, header, chunk);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return -1;
  const int chunk = 1 + (data[0] | data[1] << 8) % 9000;
  const bool held_open = data[1] == kHeldOpen;
  NHttp http;
  int writer = -1;
  if (!fuzz::FeedSocket(http.socket(), data + 2, size - 2, held_open ? &writer : nullptr))
    return -1;
  if (held_open) http.socket().SetDeadline(kHeldOpenDeadlineMs);
  const int result = ReadReply(http, chunk);
  if (writer >= 0) close(writer);
  return result;
}
