// The automation socket: when QUENLO_AUTOMATION names a path, tests drive the
// program through a Unix socket there, one JSON request and one JSON reply
// per line.
#pragma once

#include <functional>
#include <string>

#include "thread/uthread.h"

// Accepts one client at a time on its own thread. Each request line goes to
// the dispatcher, which answers through `reply` exactly once, from any thread
// (the program answers on the UI thread); the next request is read after the
// reply. Start and Stop on the owner thread.
class AutomationServer : public UThread {
 public:
  using Reply = std::function<void(const std::string& json)>;
  using Dispatch = std::function<void(const std::string& line, Reply reply)>;

  AutomationServer(std::string path, Dispatch dispatch);
  // Stops, waits for the thread and removes the socket file.
  ~AutomationServer() override;
  // Creates the socket with mode 0600. A socket left at the path by a
  // program that is gone is replaced; anything else there (a file, a link, a
  // socket someone listens on) is kept, and Listen fails. False, with the
  // reason in `error` when given, on failure.
  bool Listen(std::string* error = nullptr);

 protected:
  int Run() override;

 private:
  void Serve(int client);
  bool Answer(int client, const std::string& line);

  std::string path_;
  Dispatch dispatch_;
  int listen_fd_ = -1;
};
