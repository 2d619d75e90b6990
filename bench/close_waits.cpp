// How long the program's waits take to end once they are stopped: a search
// through two adapters stopped at several points of its windows (the time
// from Stop until the job has ended), a neighbour question stopped while the
// kernel still resolves the address, and how soon a joining WaitForEnd
// returns after a body ends. Builds its own network namespaces (needs root)
// and removes them at the end; nothing is sent from the machine's own
// namespace.
//
//   bench_close_waits [--runs N]
#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "discovery/ip_finder_thread.h"
#include "discovery/neighbour_probe.h"
#include "support/vlan.h"
#include "thread/clock.h"
#include "thread/uthread.h"
#include "thread/wakeup.h"

namespace {

using Steady = std::chrono::steady_clock;

double MsSince(Steady::time_point start) {
  return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

void Print(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s median %7.2f ms  max %7.2f ms  (%zu runs)\n", what, ms[ms.size() / 2],
              ms.back(), ms.size());
}

void OnFinderEvent(void*, const void*, int, bool) {}

// A body that ends when told; the time from its end to WaitForEnd's return.
class EndingThread : public UThread {
 public:
  EndingThread() : UThread("ending") {}
  ~EndingThread() override { WaitForEnd(); }
  std::atomic<bool> go{false};
  Steady::time_point ended;

 protected:
  int Run() override {
    while (!go.load()) std::this_thread::yield();
    ended = Steady::now();
    return 0;
  }
};

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));

  std::vector<double> joins;
  for (int run = 0; run < runs * 10; ++run) {
    EndingThread t;
    t.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    t.go = true;
    t.WaitForEnd();
    joins.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t.ended).count());
  }
  Print("WaitForEnd after the body's end", joins);

  testsupport::VirtualLan lan;
  lan.AddSegment("lan");
  lan.AddPcAdapter("qa0", "lan", "02:00:00:00:61:10", "192.168.61.10/24");
  lan.AddPcAdapter("qa1", "lan", "02:00:00:00:61:11", "192.168.61.11/24");
  lan.AddCamera("cam", "lan", "192.168.61.20/24", {"--mac", "00:1a:2b:00:00:01"});
  if (!lan.ok()) {
    std::fprintf(stderr, "could not build the virtual LAN: %s\n", lan.Error().c_str());
    return 1;
  }
  const std::unique_ptr<testsupport::VirtualLan::PcScope> pc = lan.EnterPc();
  if (!pc->ok()) return 1;

  NTavoIPFinderThread finder(&OnFinderEvent, nullptr);
  std::printf("adapters in the pc: %zu\n", finder.Adapters().size());
  for (int after_ms : {100, 600, 1500, 4500, 6000}) {
    std::vector<double> stops;
    for (int run = 0; run < runs; ++run) {
      finder.commandCode = kCommandSearch;
      if (!finder.Start()) return 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(after_ms));
      const Steady::time_point stop = Steady::now();
      finder.Stop();
      finder.WaitForEnd();
      stops.push_back(MsSince(stop));
    }
    const std::string what =
        "search on 2 adapters, stopped after " + std::to_string(after_ms) + " ms";
    Print(what.c_str(), stops);
  }

  const std::unique_ptr<NeighbourProbe> probe = MakeLinuxNeighbourProbe(SystemClock());
  const AdapterEntry adapter = finder.Adapters().at(0);
  std::vector<double> questions;
  for (int run = 0; run < runs; ++run) {
    UWakeup stop;
    std::thread closer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      stop.Signal();
    });
    const Steady::time_point start = Steady::now();
    const uint32_t nobody = inet_addr(("192.168.61." + std::to_string(100 + run)).c_str());
    probe->WhoAnswers(adapter, nobody, std::chrono::seconds(3), &stop);
    closer.join();
    questions.push_back(MsSince(start) - 100);
  }
  Print("neighbour question, stopped after 100 ms", questions);
  return 0;
}
