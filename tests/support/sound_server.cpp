#include "support/sound_server.h"

#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "support/vlan.h"

namespace testsupport {

std::string SoundServer::Record(double seconds, int rate) const {
  std::string samples;
  RunProgram({"timeout", std::to_string(seconds), "parec", "--server", server_, "--device",
              std::string(kSink) + ".monitor", "--format=s16le", "--rate=" + std::to_string(rate),
              "--channels=1", "--raw", "--latency-msec=20"},
             &samples);
  return samples;
}

bool SoundServer::AnswersPulse(const std::string& server, pid_t pid) {
  for (int tries = 0; tries < 100; ++tries) {
    std::string out;
    if (RunProgram({"pactl", "--server", server, "info"}, &out) == 0) return true;
    siginfo_t ended{};  // WNOWAIT: the owner still reaps it
    if (::waitid(P_PID, pid, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == pid)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

}  // namespace testsupport
