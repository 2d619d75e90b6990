// CPU time and wake-ups of this process and of some of its threads, read
// from the kernel's per-thread accounts, for benches that print what a piece
// of work costs per unit (per picture, per packet).
#pragma once

#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// One thread's account: nanoseconds on a CPU and times it went to sleep.
struct ThreadCpu {
  uint64_t cpu_ns = 0;
  uint64_t sleeps = 0;  // voluntary context switches: each one a later wake-up
};

inline uint64_t ProcessCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

// The account of thread `tid` of this process; zeros when it has ended.
inline ThreadCpu ReadThreadCpu(pid_t tid) {
  ThreadCpu out;
  const std::string dir = "/proc/self/task/" + std::to_string(tid);
  if (FILE* f = std::fopen((dir + "/schedstat").c_str(), "r")) {
    unsigned long long ns = 0;
    if (std::fscanf(f, "%llu", &ns) == 1) out.cpu_ns = ns;
    std::fclose(f);
  }
  if (FILE* f = std::fopen((dir + "/status").c_str(), "r")) {
    char line[256];
    unsigned long long n = 0;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "voluntary_ctxt_switches: %llu", &n) == 1) out.sleeps = n;
    std::fclose(f);
  }
  return out;
}

// A snapshot of the process and of the threads named at construction.
struct CpuSnapshot {
  uint64_t process_ns = 0;
  std::vector<ThreadCpu> threads;

  static CpuSnapshot Take(const std::vector<pid_t>& tids) {
    CpuSnapshot s;
    s.process_ns = ProcessCpuNs();
    for (pid_t tid : tids) s.threads.push_back(ReadThreadCpu(tid));
    return s;
  }
};

}  // namespace bench
