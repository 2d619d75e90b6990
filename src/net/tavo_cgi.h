#pragma once

#include <memory>

#include "media/media_sample.h"
#include "net/http.h"

// The camera's command interface: the parameter listing (which proves a
// password), the administrator password change, and the picture and sound
// streams read part by part into pooled media samples.
// Used by exactly one thread (the dialog's for commands, a stream thread for
// a stream); only the pool's ring is shared with the consumer of the samples.
class NTavoCGI {
 public:
  static constexpr int kReplySize = 16384;
  static constexpr int kBoundarySize = 128;
  static constexpr int kPathSize = 260;
  static constexpr int kMaxPartLength = 524288;

  // With `create_pool` the object can read streams (a 1 MiB media pool).
  explicit NTavoCGI(bool create_pool);
  virtual ~NTavoCGI();
  NTavoCGI(const NTavoCGI&) = delete;
  NTavoCGI& operator=(const NTavoCGI&) = delete;

  // Server and credentials are set here (SetServer) before any command.
  NHttp& http() { return http_; }
  NTavoMediaPool* pool() { return pool_.get(); }

  // The reply text of the parameter listing, or null on any failure, the
  // request's deadline (NHttp::kCommandDeadlineMs) passing included.
  const char* QueryIPAddress();
  // Changes the administrator password (letters and digits); the reply text
  // or null. A null password sends the request without the "pwd" piece.
  const char* UpdateAdminPassword(const char* new_password);
  // The status code of the last command's reply header; 0 when no header came
  // (no connection, a receive error or time-out, the deadline). A command
  // that failed with 200 here broke off in its body.
  int last_status() const { return last_status_; }

  // Opens a stream: true once the camera answered 200 with a usable boundary
  // (1 to 127 characters). Needs a pool.
  bool OpenVideoStream();
  bool OpenAudioStream();
  const char* boundary() const { return boundary_; }
  // The second half of opening a stream, for a connection whose request has
  // gone out: reads the reply header and takes its boundary, with the same
  // result. Fuzz targets start here on a connection they feed themselves.
  bool ReadStreamReply();

  // Reads one part of the open stream. The part's length (> 0) with `sample`
  // holding it; 0 when the peer closed or the part lacked the boundary line;
  // -1 on a receive error or time-out, a part header over 16384 bytes, a
  // missing, malformed or out-of-range Content-Length, or a failed content
  // read. Waits in steps of 14 ms while the pool is full. `sample` is null
  // unless > 0.
  int ReadStreamFrame(std::unique_ptr<NTavoMediaSample>* sample);
  // Waits up to `milliseconds` until the next part can be read without
  // waiting: true at once when bytes of it are already here.
  bool WaitForStreamData(int milliseconds);
  // The camera closed the stream's connection, or it failed (a read time-out
  // does not count): reading on would never give another part.
  bool StreamBroken();

 private:
  const char* TextReply(const char* path);
  bool OpenStream(const char* path);
  int GatherPartHeader(char** content_start, char** position);

  NHttp http_;
  std::unique_ptr<NTavoMediaPool> pool_;  // null for command-only objects
  char reply_[kReplySize];
  char boundary_[kBoundarySize] = "";
  int last_status_ = 0;
  int carried_ = 0;  // bytes at the start of reply_ that belong to the next part
};
