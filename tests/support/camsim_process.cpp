#include "support/camsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace testsupport {

std::string CamsimProcess::BinaryPath() {
  return std::string(QUENLO_BUILD_DIR) + "/tools/camsim/tavo-camsim";
}

CamsimProcess::CamsimProcess(const std::vector<std::string>& extra_args) {
  std::vector<std::string> args = {BinaryPath(), "--listen", "127.0.0.1", "--port", "0"};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  // The simulator prints "listening on ADDR:PORT" once it accepts connections.
  std::string line;
  char c;
  pollfd p{out[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&p, 1, 5000) > 0 && read(out[0], &c, 1) == 1)
    line.push_back(c);
  close(out[0]);
  unsigned port = 0;
  const size_t colon = line.rfind(':');
  if (colon == std::string::npos || std::sscanf(line.c_str() + colon + 1, "%u", &port) != 1) {
    error_ = "simulator did not start: " + BinaryPath() + " said \"" + line + "\"";
    return;
  }
  port_ = static_cast<uint16_t>(port);
}

int CamsimProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return status;
}

CamsimProcess::~CamsimProcess() { Stop(); }

}  // namespace testsupport
