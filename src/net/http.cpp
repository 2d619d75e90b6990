#include "net/http.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "net/base64.h"
#include "net/wipe.h"

namespace {

// Bounds of the waits between partial receives. A wait ends as soon as more
// data has arrived: the pause keeps a reader from spinning while nothing
// comes, without delaying data that is already there.
constexpr int kHeaderPauseMs = 13;
constexpr int kBodyPauseMs = 14;
constexpr int kMinStatus = 100;
constexpr int kMaxStatus = 999;
constexpr char kRequestFormat[] =
    "GET %s HTTP/1.1\r\nUser-Agent: \r\nConnection: Keep-Alive\r\n%s\r\n";

// Keeps the low 8 bits of each wide character, as the camera expects 8-bit text.
std::string Narrow(const wchar_t* text) {
  std::string out;
  out.reserve(std::wcslen(text));  // no reallocation leaves a copy of a password behind
  for (; *text; ++text) out.push_back(static_cast<char>(*text & 0xFF));
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The three-digit code after the version on the status line, or -1. The code
// must sit on that line: a status line without one must not borrow a number
// from the header lines below it.
int StatusCode(const char* header) {
  const char* version = std::strstr(header, "HTTP/");
  const char* line_end = version ? std::strstr(version, "\r\n") : nullptr;
  if (!line_end) return -1;
  const char* code =
      static_cast<const char*>(std::memchr(version, ' ', static_cast<size_t>(line_end - version)));
  if (!code) return -1;
  const char* code_end = code + 1;
  while (code_end < line_end && IsBlank(*code_end)) ++code_end;
  while (code_end < line_end && !IsBlank(*code_end)) ++code_end;
  int status = 0;
  if (!ParseDecimal(code, static_cast<int>(code_end - code), kMaxStatus, &status) ||
      status < kMinStatus)
    return -1;
  return status;
}

}  // namespace

NHttp::NHttp() = default;

NHttp::~NHttp() {
  WipeBytes(authorization_, sizeof authorization_);
  WipeBytes(buffer_, sizeof buffer_);
}

bool NHttp::SetServer(const char* host, uint16_t port, const char* user, const char* password) {
  bool ok = true;
  if (user) {
    WipeBytes(authorization_, sizeof authorization_);
    std::string credentials = std::string(user) + ":" + (password ? password : "");
    const int n = static_cast<int>(credentials.size());
    if (!password || n > kMaxCredentials) {
      ok = false;
    } else {
      char encoded[Base64EncodedSize(kMaxCredentials)];
      Base64Encode(encoded, n, reinterpret_cast<const unsigned char*>(credentials.data()),
                   Base64EncodedSize(n));
      std::snprintf(authorization_, sizeof authorization_, "Authorization: Basic %s\r\n", encoded);
      WipeBytes(encoded, sizeof encoded);
    }
    WipeText(credentials);
  }
  has_host_ = host && std::strlen(host) < sizeof host_;
  std::snprintf(host_, sizeof host_, "%s", has_host_ ? host : "");
  if (host && !has_host_) ok = false;
  port_ = port;
  return ok;
}

bool NHttp::SetServer(const wchar_t* host, uint16_t port, const wchar_t* user,
                      const wchar_t* password) {
  const std::string h = host ? Narrow(host) : std::string();
  std::string u = user ? Narrow(user) : std::string();
  std::string p = password ? Narrow(password) : std::string();
  const bool ok = SetServer(host ? h.c_str() : nullptr, port, user ? u.c_str() : nullptr,
                            password ? p.c_str() : nullptr);
  WipeText(u);
  WipeText(p);
  return ok;
}

int NHttp::SendGetRequest(const char* path) {
  const int length = std::snprintf(buffer_, sizeof buffer_, kRequestFormat, path, authorization_);
  body_ = fill_ = nullptr;
  socket_.SetDeadline(command_deadline_ms_);
  // A request that does not fit is not sent cut short.
  const bool fits = length >= 0 && length < kBufferSize;
  const int sent =
      fits && has_host_ && socket_.Connect(host_, port_) ? socket_.Send(buffer_, length) : -1;
  // The request holds the authorization line (and a new password, when it
  // sets one): it goes once it has been sent.
  WipeBytes(buffer_, sizeof buffer_);
  return sent;
}

void NHttp::RecordError(int result) {
  last_error_ = result == 0 ? 0 : NSocket::LastError();
  if (result == 0)
    std::snprintf(last_error_text_, sizeof last_error_text_, "Connection closed by peer");
  else
    NSocket::ErrorText(last_error_, last_error_text_, sizeof last_error_text_);
}

int NHttp::ReceiveHeader(const char** header) {
  socket_.SetReceiveTimeout(kReceiveTimeoutMs);
  body_ = nullptr;
  fill_ = buffer_;
  int room = kBufferSize - 1;
  const char* blank = nullptr;
  while (room > 0) {
    const int n = socket_.Receive(fill_, room);
    if (n <= 0) {
      RecordError(n);
      return n;
    }
    fill_ += n;
    room -= n;
    *fill_ = '\0';
    blank = static_cast<const char*>(
        memmem(buffer_, static_cast<size_t>(fill_ - buffer_), "\r\n\r\n", 4));
    if (blank) break;
    socket_.WaitReadable(kHeaderPauseMs);
  }
  if (!blank) return -1;
  const size_t end = static_cast<size_t>(blank - buffer_);
  // A NUL would end the header text early and hide the lines after it.
  if (std::memchr(buffer_, '\0', end) != nullptr) return -1;
  buffer_[end + 2] = '\0';  // the header text keeps its last line's "\r\n"
  body_ = buffer_ + end + 4;

  const int status = StatusCode(buffer_);
  if (status < 0) return -1;
  *header = buffer_;
  return status;
}

int NHttp::BufferedBodyBytes() const { return body_ ? static_cast<int>(fill_ - body_) : 0; }

int NHttp::TakeBuffered(char* destination, int size) {
  const int n = std::min(size, BufferedBodyBytes());
  if (n > 0) {
    std::memcpy(destination, body_, static_cast<size_t>(n));
    body_ += n;
  }
  return n;
}

bool NHttp::WaitForData(int milliseconds) {
  return BufferedBodyBytes() > 0 || socket_.WaitReadable(milliseconds);
}

int NHttp::ReadSome(void* destination, int size) {
  if (size <= 0) return -1;
  auto* out = static_cast<char*>(destination);
  if (const int n = TakeBuffered(out, size); n > 0) return n;
  const int n = socket_.Receive(out, size);
  if (n <= 0) RecordError(n);
  return n;
}

int NHttp::ReadExact(void* destination, int size) {
  if (size <= 0) return -1;
  auto* out = static_cast<char*>(destination);
  int got = TakeBuffered(out, size);
  while (got < size) {
    const int n = socket_.Receive(out + got, size - got);
    if (n <= 0) {
      RecordError(n);
      return n;
    }
    got += n;
    socket_.WaitReadable(kBodyPauseMs);
  }
  return size;
}

bool FindHeaderValue(const char* text, const char* name, char separator, const char** value,
                     int* length) {
  if (!text || !name) return false;
  const char* found = std::strstr(text, name);
  if (!found || !*found) return false;
  const char* sep = std::strchr(found + 1, separator);
  if (!sep || separator == '\0') return false;
  const char* end = std::strstr(sep + 1, "\r\n");
  if (!end) return false;
  *value = sep + 1;
  *length = static_cast<int>(end - (sep + 1));
  return true;
}

bool ParseDecimal(const char* text, int length, int max, int* value) {
  if (!text || length <= 0 || max < 0) return false;
  int i = 0;
  while (i < length && IsBlank(text[i])) ++i;
  const int digits = i;
  int64_t number = 0;
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    number = number * 10 + (text[i] - '0');
    if (number > max) return false;
  }
  if (i == digits) return false;
  while (i < length && IsBlank(text[i])) ++i;
  if (i != length) return false;
  *value = static_cast<int>(number);
  return true;
}
