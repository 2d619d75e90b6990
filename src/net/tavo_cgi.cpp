#include "net/tavo_cgi.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "net/wipe.h"

namespace {

constexpr auto kPoolFullPause = std::chrono::milliseconds(14);  // the consumer frees parts
constexpr int kPartPauseMs = 14;
constexpr int kGatherChunk = 48;
constexpr int kKeepAliveIdleS = 5;
constexpr int kKeepAliveIntervalS = 1;
constexpr int kKeepAliveProbes = 3;

// Appends one formatted piece to a request path; false when it does not fit
// (a cut path would ask the camera for something else).
bool AppendPiece(char (&path)[NTavoCGI::kPathSize], const char* format, const char* value) {
  const size_t used = std::strlen(path);
  const size_t room = sizeof path - used;
  const int n = std::snprintf(path + used, room, format, value);
  return n >= 0 && static_cast<size_t>(n) < room;
}

// The last occurrence of `text` in the `size` bytes at `data`, or null.
const char* LastOccurrence(const char* data, size_t size, const char* text) {
  const size_t n = std::strlen(text);
  const char* found = nullptr;
  for (const char* at = data; n > 0;) {
    const size_t left = size - static_cast<size_t>(at - data);
    const auto* hit = static_cast<const char*>(memmem(at, left, text, n));
    if (!hit) break;
    found = hit;
    at = hit + 1;
  }
  return found;
}

}  // namespace

NTavoCGI::NTavoCGI(bool create_pool) {
  reply_[0] = '\0';
  if (create_pool) pool_ = std::make_unique<NTavoMediaPool>();
}

NTavoCGI::~NTavoCGI() = default;

const char* NTavoCGI::QueryIPAddress() {
  char path[kPathSize] = "";
  if (!AppendPiece(path, "/cgi/admin/param.cgi?action=%s", "list") ||
      !AppendPiece(path, "&group=%s", "Network") || !AppendPiece(path, "&name=%s", "IPAddress"))
    return nullptr;
  return TextReply(path);
}

const char* NTavoCGI::UpdateAdminPassword(const char* new_password) {
  char path[kPathSize] = "";
  const bool built = AppendPiece(path, "/cgi/admin/pwdgrp.cgi?action=%s", "update") &&
                     AppendPiece(path, "&user=%s", "admin") &&
                     (!new_password || AppendPiece(path, "&pwd=%s", new_password)) &&
                     AppendPiece(path, "&grp=%s", "admin");
  const char* reply = built ? TextReply(path) : nullptr;
  WipeBytes(path, sizeof path);
  return reply;
}

// The body of a command's reply. No Content-Length means an empty body; a
// length of 16384 or more would not fit the reply area and fails. The whole
// exchange ends by the request's deadline.
const char* NTavoCGI::TextReply(const char* path) {
  reply_[0] = '\0';
  last_status_ = 0;
  if (http_.SendGetRequest(path) == -1) return nullptr;
  const char* header = nullptr;
  const int status = http_.ReceiveHeader(&header);
  if (status > 0) last_status_ = status;
  if (status != 200) return nullptr;
  const char* value = nullptr;
  int value_length = 0;
  if (!FindHeaderValue(header, "Content-Length", ':', &value, &value_length)) return reply_;
  int remaining = 0;
  if (!ParseDecimal(value, value_length, kReplySize - 1, &remaining)) return nullptr;
  char* at = reply_;
  while (remaining > 0) {
    const int n = http_.ReadSome(at, remaining);
    if (n <= 0) return nullptr;
    at += n;
    *at = '\0';
    remaining -= n;
  }
  return reply_;
}

bool NTavoCGI::OpenVideoStream() { return OpenStream("/cgi/mjpg/mjpeg.cgi"); }

bool NTavoCGI::OpenAudioStream() { return OpenStream("/cgi/audio/audio.cgi"); }

bool NTavoCGI::OpenStream(const char* path) {
  boundary_[0] = '\0';
  if (!pool_ || http_.SendGetRequest(path) < 0) return false;
  return ReadStreamReply();
}

bool NTavoCGI::ReadStreamReply() {
  boundary_[0] = '\0';
  carried_ = 0;
  if (!pool_) return false;
  const char* header = nullptr;
  if (http_.ReceiveHeader(&header) != 200) return false;
  const char* value = nullptr;
  int length = 0;
  if (!FindHeaderValue(header, "boundary", '=', &value, &length)) return false;
  // An empty boundary would match any text; a long one would not fit.
  if (length <= 0 || length >= kBoundarySize) return false;
  std::memcpy(boundary_, value, static_cast<size_t>(length));
  boundary_[length] = '\0';
  http_.LiftDeadline();  // the parts come for as long as the stream is watched
  // A camera that lost power or restarted never closes the stream: probes
  // of the quiet connection find that out, and the reader then sees it fail.
  http_.socket().SetKeepAlive(kKeepAliveIdleS, kKeepAliveIntervalS, kKeepAliveProbes);
  return true;
}

// Reads 48 bytes at a time until the part header's blank line arrives,
// starting with the bytes carried over from the previous part. On success
// returns 1 with `content_start` just after the blank line and `position` one
// past the last byte read; otherwise the failing read's result, or -1 when no
// blank line came within the reply area.
int NTavoCGI::GatherPartHeader(char** content_start, char** position) {
  char* at = reply_ + carried_;
  char* const end = reply_ + kReplySize;
  carried_ = 0;
  *at = '\0';
  for (bool read_before = false;; read_before = true) {
    if (at > reply_) {
      auto* blank =
          static_cast<char*>(memmem(reply_, static_cast<size_t>(at - reply_), "\r\n\r\n", 4));
      if (blank) {
        blank[2] = '\0';
        *content_start = blank + 4;
        *position = at;
        return 1;
      }
      if (read_before) http_.WaitForData(kPartPauseMs);
    }
    if (at + kGatherChunk + 1 >= end) return -1;
    const int n = http_.ReadSome(at, kGatherChunk);
    if (n <= 0) return n;
    at += n;
    *at = '\0';
  }
}

bool NTavoCGI::WaitForStreamData(int milliseconds) {
  return carried_ > 0 || http_.WaitForData(milliseconds);
}

bool NTavoCGI::StreamBroken() { return !http_.socket().IsOpen() || http_.socket().IsBroken(); }

int NTavoCGI::ReadStreamFrame(std::unique_ptr<NTavoMediaSample>* out) {
  out->reset();
  if (!pool_ || boundary_[0] == '\0') return -1;
  char* content = nullptr;
  char* position = nullptr;
  if (const int r = GatherPartHeader(&content, &position); r <= 0) return r;

  // Bytes left over from a damaged part may precede the header and hold NULs,
  // which would hide the boundary line from a text search and keep the stream
  // out of step for good: look for the boundary in the raw bytes instead.
  const char* part = LastOccurrence(reply_, static_cast<size_t>(content - 2 - reply_), boundary_);
  const char* line = nullptr;
  int line_length = 0;
  if (!part || !FindHeaderValue(part, boundary_, '\n', &line, &line_length)) return 0;
  const char* value = nullptr;
  int value_length = 0;
  if (!FindHeaderValue(line, "Content-Length", ':', &value, &value_length)) return -1;
  int length = 0;
  if (!ParseDecimal(value, value_length, kMaxPartLength, &length) || length < 1) return -1;

  std::unique_ptr<NTavoMediaSample> sample = pool_->NewSample(length);
  while (!sample) {
    std::fputs("Network===:Mem Full\n", stdout);
    std::this_thread::sleep_for(kPoolFullPause);
    sample = pool_->NewSample(length);
  }
  const int already = static_cast<int>(position - content);
  if (length <= already) {
    std::memcpy(sample->block(), content, static_cast<size_t>(length));
    // What follows a short part already belongs to the next one: keep it.
    carried_ = already - length;
    std::memmove(reply_, content + length, static_cast<size_t>(carried_));
  } else {
    std::memcpy(sample->block(), content, static_cast<size_t>(already));
    const int r = http_.ReadExact(sample->block() + already, length - already);
    if (r <= 0) return r;  // the sample goes back to the pool here
  }
  *out = std::move(sample);
  return length;
}
