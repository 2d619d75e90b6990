#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

struct sockaddr;

// The TCP client end of one camera connection: resolves a host and port,
// connects with a bounded wait of 3 seconds, and keeps at most one open
// connection. NHttp sends and receives on it. Used by one thread at a time;
// no locking. Another thread may end its waits through the wake-up
// descriptor (SetWakeFd), which is how a stream thread is stopped promptly
// and a camera command is cut short when the window closes. A deadline
// (SetDeadline) bounds all waits together, however each one is bounded.
class NSocket {
 public:
  NSocket();
  virtual ~NSocket();
  NSocket(const NSocket&) = delete;
  NSocket& operator=(const NSocket&) = delete;

  // Connects to `host` (a name, or a dotted address when it starts with a
  // digit) on `port`, trying each resolved address in turn for up to 3 seconds.
  // Any open connection is closed first. True when a connection is open.
  bool Connect(const char* host, uint16_t port);
  // Takes over `fd`, an already connected stream descriptor, in place of a
  // connection (closing any open one); it is closed with this object. How
  // tests and fuzz targets feed replies through a socket pair without a
  // network socket. False, and nothing taken over, for a negative `fd`.
  bool Adopt(int fd);

  bool IsOpen() const { return socket_ != -1; }
  int handle() const { return socket_; }
  int family() const { return family_; }
  int type() const { return type_; }

  // Sends all `size` bytes, waiting for room as long as the deadline allows:
  // `size`, or -1 on an error, the deadline or a wake-up.
  int Send(const void* data, int size);
  // One receive call of up to `size` bytes: the count, 0 when the peer has
  // closed, -1 on an error or when the receive time-out passes (EAGAIN) or
  // the wake-up descriptor is signalled (ECANCELED) or the deadline has
  // passed (ETIMEDOUT).
  int Receive(void* data, int size);
  // Receive time-out for every later Receive on this connection.
  bool SetReceiveTimeout(int milliseconds);
  // Waits up to `milliseconds` until a Receive would not block: true then
  // (data, the peer's close or an error), false on time-out or wake-up.
  bool WaitReadable(int milliseconds);
  // Probes an idle connection: after `idle_s` seconds without data, every
  // `interval_s` seconds; `count` probes unanswered (or refused by a peer
  // that no longer knows the connection) make it fail.
  bool SetKeepAlive(int idle_s, int interval_s, int count);
  // The peer closed this connection or it failed; a time-out does not count.
  bool IsBroken() const { return broken_; }
  // Polled beside the socket in every wait; -1 for none. Not owned.
  void SetWakeFd(int fd) { wake_fd_ = fd; }
  // Every later wait (connect, send, receive, WaitReadable) ends by
  // `milliseconds` from now, a receive or send then failing with ETIMEDOUT.
  // Connect keeps it, so that it bounds a whole exchange. Negative: no
  // deadline.
  void SetDeadline(int milliseconds);
  // Shuts the connection down in both directions and closes it.
  void ShutdownAndClose();

  // The error code of the calling thread's last failed socket call.
  static int LastError();
  // The English message for `code`, NUL-terminated, cut to `size` bytes.
  static void ErrorText(int code, char* text, size_t size);

 private:
  void CloseWithoutShutdown();
  // Polls the open socket for `events` for up to `timeout_ms` (-1: without
  // bound), cut to the deadline: as PollWithWake, with errno ETIMEDOUT when
  // the deadline ended the wait.
  int Wait(short events, int timeout_ms, short* revents) const;
  // One connection attempt: 1 connected, 2 refused or unreachable, 0 the
  // wait passed, -1 failure or wake-up.
  int ConnectTo(const sockaddr* address, unsigned length) const;

  int socket_ = -1;  // -1: no connection
  int family_ = 0;   // address family of the address last tried
  int type_ = 0;     // 1 (stream) once a connection was attempted
  int protocol_ = 0;
  int receive_timeout_ms_ = -1;  // -1: wait without bound
  int wake_fd_ = -1;
  bool has_deadline_ = false;
  std::chrono::steady_clock::time_point deadline_;
  bool broken_ = false;
};
