#pragma once

#include <cstdint>

#include "net/socket.h"

// The minimal HTTP/1.1 client through which every camera command and both
// live streams travel: one server, one set of Basic credentials, a GET on a
// fresh connection per request, the reply header read into a fixed buffer and
// the body served from that buffer first, then from the socket. Each request
// starts a deadline that bounds everything up to the end of its reply; a
// stream lifts it once its header has come (LiftDeadline). The credentials
// and the request text are overwritten once they are no longer needed.
// Used by one thread at a time (the dialog's, or one stream thread); no locking.
class NHttp {
 public:
  static constexpr int kBufferSize = 8192;
  static constexpr int kAuthorizationSize = 256;
  static constexpr int kErrorTextSize = 256;
  static constexpr int kHostSize = 256;
  // Longest user:password text whose authorization line fits its field.
  static constexpr int kMaxCredentials = 174;
  // The bound of each receive: a camera silent for this long has failed.
  static constexpr int kReceiveTimeoutMs = 5000;
  // The bound of a whole request, from the connect to the last byte of the
  // reply: a camera that sends a byte now and then, each receive within its
  // time-out, cannot hold the caller longer than this.
  static constexpr int kCommandDeadlineMs = 15000;

  NHttp();
  virtual ~NHttp();
  NHttp(const NHttp&) = delete;
  NHttp& operator=(const NHttp&) = delete;

  // Sets the server and, when `user` is non-null, the credentials (then
  // `password` must be non-null too); a null user keeps the earlier
  // credentials. Credentials longer than kMaxCredentials are refused: the
  // authorization line is left empty and false is returned. The host text is
  // copied (names longer than kHostSize - 1 bytes are refused the same way).
  bool SetServer(const char* host, uint16_t port, const char* user, const char* password);
  // The same for wide texts; each character keeps its low 8 bits.
  bool SetServer(const wchar_t* host, uint16_t port, const wchar_t* user, const wchar_t* password);

  // The deadline of each later request, in milliseconds from its start
  // (kCommandDeadlineMs unless set); negative: none.
  void SetCommandDeadline(int milliseconds) { command_deadline_ms_ = milliseconds; }
  // Ends the current request's deadline: a stream's reply goes on for as long
  // as the stream is watched.
  void LiftDeadline() { socket_.SetDeadline(-1); }

  // Starts the request's deadline, opens a fresh connection (closing the
  // previous one) and sends one GET for `path`. The request's length, or -1.
  int SendGetRequest(const char* path);
  // Reads the reply header. The status code (with `header` pointing at the
  // NUL-terminated header text), 0 when the peer closed first, -1 on a
  // receive error, a time-out or the deadline, a header over 8191 bytes or
  // holding a NUL, or no status line with a code from 100 to 999.
  int ReceiveHeader(const char** header);
  // Up to `size` body bytes: the count, 0 when the peer closed, -1 on error.
  int ReadSome(void* destination, int size);
  // Exactly `size` body bytes: `size`, or the failing receive's 0 or -1.
  int ReadExact(void* destination, int size);
  // Waits up to `milliseconds` until body bytes can be read without
  // blocking: true at once when some are buffered.
  bool WaitForData(int milliseconds);

  int last_error() const { return last_error_; }
  const char* last_error_text() const { return last_error_text_; }
  const char* authorization_line() const { return authorization_; }
  const char* host() const { return host_; }
  uint16_t port() const { return port_; }
  // The connection, for the stream threads that shut it down when they stop.
  NSocket& socket() { return socket_; }

 private:
  int BufferedBodyBytes() const;
  int TakeBuffered(char* destination, int size);
  void RecordError(int result);

  NSocket socket_;
  int last_error_ = 0;
  char last_error_text_[kErrorTextSize] = "";
  char host_[kHostSize] = "";
  bool has_host_ = false;
  uint16_t port_ = 0;
  int command_deadline_ms_ = kCommandDeadlineMs;
  char authorization_[kAuthorizationSize] = "";
  char buffer_[kBufferSize];
  char* body_ = nullptr;  // first body byte not yet handed out; null before a header
  char* fill_ = nullptr;  // one past the last byte received into buffer_
};

// Finds `name` anywhere in `text` (case-sensitive), then the first `separator`
// after its first character, then the "\r\n" after that. On success `value`
// points just past the separator and `length` counts the characters up to the
// "\r\n" (leading blanks included).
bool FindHeaderValue(const char* text, const char* name, char separator, const char** value,
                     int* length);

// The number in the `length` characters at `text`, as a camera writes it in a
// header: blanks (space, tab), one or more decimal digits, blanks, nothing
// else. False, and `value` untouched, for any other text or a number above
// `max` (not negative): a number that does not fit is refused, never wrapped.
bool ParseDecimal(const char* text, int length, int max, int* value);
