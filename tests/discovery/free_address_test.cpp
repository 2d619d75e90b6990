#include "discovery/free_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "discovery/fake_adapter_source.h"
#include "support/fake_clock.h"
#include "thread/wakeup.h"

namespace {

uint32_t Ip(const std::string& text) { return inet_addr(text.c_str()); }

std::vector<uint32_t> Range(const std::string& prefix, int first, int last) {
  std::vector<uint32_t> out;
  for (int i = first; i <= last; ++i) out.push_back(Ip(prefix + std::to_string(i)));
  return out;
}

// Answers from the `taken` addresses; a slow network spends each question's
// whole wait on the clock before the answer. The window closes (`closing` is
// signalled) while the question number `close_at` is asked.
class FakeNeighbourProbe : public NeighbourProbe {
 public:
  FakeNeighbourProbe(FakeClock& clock, std::vector<uint32_t> taken, bool slow)
      : clock_(clock), taken_(std::move(taken)), slow_(slow) {}
  std::optional<MacAddress> WhoAnswers(const AdapterEntry&, uint32_t candidate,
                                       std::chrono::milliseconds wait,
                                       const UWakeup* stop) override {
    asked.push_back(candidate);
    if (static_cast<int>(asked.size()) == close_at) closing.Signal();
    const bool taken = std::find(taken_.begin(), taken_.end(), candidate) != taken_.end();
    if ((slow_ || !taken) && !clock_.Sleep(wait, stop)) return std::nullopt;
    if (!taken) return std::nullopt;
    return MacAddress{0x02, 0, 0, 0, 0, 0x99};
  }
  std::vector<uint32_t> asked;
  int close_at = 0;
  UWakeup closing;

 private:
  FakeClock& clock_;
  std::vector<uint32_t> taken_;
  bool slow_;
};

// Addresses are last octets on 192.168.1.0; `taken` a range of them.
TEST(FreeAddress, WalksPastWhatAnswersWithinTriesAndBudget) {
  struct Case {
    const char* what;
    int own, gateway;
    const char* mask;
    std::vector<int> cameras;
    int taken_first, taken_last;
    bool slow;
    int proposed;
    size_t asked;
    int close_at = 0;
  };
  const Case cases[] = {
      {"free network: the plain rule", 10, 1, "255.255.255.0", {}, 0, -1, false, 2, 1},
      {"pc and gateway first", 1, 2, "255.255.255.0", {}, 0, -1, false, 3, 1},
      {"cameras skipped unasked", 10, 1, "255.255.255.0", {2, 4}, 3, 3, false, 5, 2},
      {"sixteen taken: the next unchecked", 100, 1, "255.255.255.0", {}, 2, 17, false, 18, 16},
      {"more taken than tries", 100, 1, "255.255.255.0", {}, 2, 40, false, 18, 16},
      {"slow answers spend the budget", 10, 1, "255.255.255.0", {}, 2, 40, true, 11, 8},
      {"a /28 all taken: the plain rule", 1, 14, "255.255.255.240", {}, 2, 13, false, 2, 12},
      {"closed during the third question", 10, 1, "255.255.255.0", {}, 2, 40, true, 4, 3, 3},
  };
  const std::string n = "192.168.1.";
  for (const Case& c : cases) {
    std::vector<uint32_t> cameras;
    for (int octet : c.cameras) cameras.push_back(Ip(n + std::to_string(octet)));
    FakeClock clock;
    FakeNeighbourProbe probe(clock, Range(n, c.taken_first, c.taken_last), c.slow);
    probe.close_at = c.close_at;
    const AdapterEntry adapter = FakeAdapterSource::Entry(
        "eth0", 1, kAdapterTypeEthernet, (n + std::to_string(c.own)).c_str(), c.mask,
        (n + std::to_string(c.gateway)).c_str());
    EXPECT_EQ(DottedAddress(ProposeFreeAddress(adapter, cameras, probe, clock, &probe.closing)),
              n + std::to_string(c.proposed))
        << c.what;
    EXPECT_EQ(probe.asked.size(), c.asked) << c.what;
    for (uint32_t asked : probe.asked) {
      EXPECT_TRUE(IsOnAdapterSubnet(adapter, asked)) << c.what << ": " << DottedAddress(asked);
      EXPECT_EQ(std::count(cameras.begin(), cameras.end(), asked), 0) << c.what;
    }
  }
}

}  // namespace
