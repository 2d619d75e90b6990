#include "discovery/search_diagnosis.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "discovery/fake_adapter_source.h"

namespace {

namespace fs = std::filesystem;
using Fake = FakeAdapterSource;

// A line of /proc/net/route for a default route (flags 3: up, via a gateway).
std::string DefaultRoute(const char* iface, int metric = 0, const char* flags = "0003") {
  return std::string(iface) + "\t00000000\t0101A8C0\t" + flags + "\t0\t0\t" +
         std::to_string(metric) + "\t00000000\t0\t0\t0\n";
}

// A fake /proc and /etc in a temporary folder, empty until a test writes.
class SearchDiagnosis : public ::testing::Test {
 protected:
  void SetUp() override {
    paths_ = {P("conf"), P("route"), P("udp"), P("udp6"), P("ufw.conf"), P("proc")};
    Reset();
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string P(const char* name) { return (root_ / name).string(); }
  void Reset() {
    fs::remove_all(root_);
    Write("proc/1/comm", "systemd\n");
    Write("route", "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\n");
  }
  void Write(const std::string& path, const std::string& text) {
    fs::create_directories((root_ / path).parent_path());
    std::ofstream(root_ / path, std::ios::app) << text;
  }
  auto Diagnose(const std::vector<LinkState>& links = {}) {
    return DiagnoseSearch(source_, paths_, links);
  }

  const fs::path root_ = fs::temp_directory_path() / ("qdiag" + std::to_string(getpid()));
  SearchDiagnosisPaths paths_;
  FakeAdapterSource source_;
};

TEST_F(SearchDiagnosis, ReversePathFilterNamesTheAdapterAndItsFix) {
  struct Case {
    const char* adapter;
    int all, own;
    std::string routes;
    const char* settings;  // after "sysctl -w"; empty when the answers pass
  };
  const std::string eth0 = DefaultRoute("eth0");
  const Case cases[] = {
      {"eth1", 0, 1, eth0, " net.ipv4.conf.eth1.rp_filter=2"},
      {"eth1", 1, 0, eth0, " net.ipv4.conf.eth1.rp_filter=2"},  // "all" is the higher
      {"eth1", 2, 1, eth0, ""},
      {"eth1", 1, 1, DefaultRoute("eth1"), ""},
      {"eth1", 0, 1, DefaultRoute("eth1", 600) + DefaultRoute("eth0", 100),
       " net.ipv4.conf.eth1.rp_filter=2"},
      {"eth1", 0, 1, DefaultRoute("wg0", 0, "0001"), " net.ipv4.conf.eth1.rp_filter=2"},
      {"eth1", 2, 0, "", " net.ipv4.conf.all.rp_filter=0"},  // no way back at all
      {"eth1", 1, 2, DefaultRoute("*", 0, "0201"),           // unreachable
       " net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.eth1.rp_filter=0"},
      {"eth1", 0, 0, "", ""},
      {"eth1.100", 0, 1, eth0, " net.ipv4.conf.eth1/100.rp_filter=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.routes + c.adapter + std::to_string(c.all) + std::to_string(c.own));
    Reset();
    Write("route", c.routes);
    Write("conf/all/rp_filter", std::to_string(c.all));
    Write("conf/" + std::string(c.adapter) + "/rp_filter", std::to_string(c.own));
    source_.Set({Fake::Entry(c.adapter, 1, kAdapterTypeEthernet, "10.0.0.10", "255.255.255.0")});
    const std::vector<SearchFinding> findings = Diagnose();
    ASSERT_EQ(findings.size(), 2u);
    const bool filtered = findings[1].found.starts_with("Reverse-path filtering");
    ASSERT_EQ(filtered, *c.settings != '\0') << findings[1].found;
    if (!filtered) continue;
    EXPECT_NE(findings[1].found.find(std::string(" ") + c.adapter), std::string::npos);
    EXPECT_TRUE(findings[1].todo.ends_with(std::string(": sudo sysctl -w") + c.settings));
  }
}

TEST_F(SearchDiagnosis, AdaptersAndLinksAreNamed) {
  const AdapterEntry wlan =
      Fake::Entry("wlan0", 1, kAdapterTypeWireless, "192.168.0.5", "255.255.255.0");
  const AdapterEntry eth0 = Fake::Entry("eth0", 2, kAdapterTypeEthernet, "10.1.2.3", "255.0.0.0");
  const AdapterEntry eth1 = Fake::Entry("eth1", 3, kAdapterTypeEthernet, "0.0.0.0", "0.0.0.0");
  const AdapterEntry wlan1 = Fake::Entry("wlan1", 4, kAdapterTypeWireless, "0.0.0.0", "0.0.0.0");
  struct Case {
    std::vector<AdapterEntry> adapters;
    std::vector<LinkState> links;    // name, up, running, hasIpv4, hardware
    std::vector<std::string> found;  // the start of each finding, in order
  };
  const Case cases[] = {
      {{}, {}, {"No network adapter is connected"}},
      {{wlan}, {}, {"Searched through wlan0 192.168.0.5/24 (wireless).", "Only wireless"}},
      {{eth0, wlan}, {}, {"Searched through eth0 10.1.2.3/8, wlan0 192.168.0.5/24", "Nothing"}},
      {{wlan, eth1}, {{"eth1", 1, 0, 1, 1}}, {"Searched", "Only wireless", "eth1 has no link."}},
      {{eth0, eth1}, {{"eth1", 1, 1, 0, 1}}, {"Searched", "eth1 is connected but has no IPv4"}},
      {{eth0, eth1}, {{"eth1", 1, 0, 1, 0}}, {"Searched", "Nothing"}},  // a container bridge
      {{eth0, wlan1}, {{"wlan1", 1, 0, 0, 1}}, {"Searched", "Nothing"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.found.back());
    source_.Set(c.adapters);
    const std::vector<SearchFinding> findings = Diagnose(c.links);
    ASSERT_EQ(findings.size(), c.found.size());
    for (size_t i = 0; i < findings.size(); ++i)
      EXPECT_TRUE(findings[i].found.starts_with(c.found[i])) << findings[i].found;
  }
  source_.Fail(true);
  EXPECT_TRUE(Diagnose()[0].found.starts_with("No network adapter"));
}

TEST_F(SearchDiagnosis, FirewallsAndPortHoldersAreNamed) {
  const char* ufw = "run: sudo ufw allow proto udp from any port 62720";
  const char* firewalld = "run: sudo firewall-cmd --add-source-port=62720/udp";
  const char* holder = "Close other camera tools";
  const char* nothing = "Check that the camera has power";
  const std::string sockets = "  sl  local_address rem_address   st\n  12: ";
  const struct {
    const char* file;
    std::string text;
    const char* todo;  // of the finding after the adapter list
  } cases[] = {
      {"ufw.conf", "# ENABLED=no\nENABLED=yes\nLOGLEVEL=low\n", ufw},
      {"ufw.conf", "#ENABLED=yes\nENABLED=no\n", nothing},
      {"proc/4711/comm", "firewalld\n", firewalld},
      {"udp", sockets + "00000000:F500 00000000:0000 07\n", holder},
      {"udp", sockets + "0A00000A:A1B2 0A000014:F500 01\n", nothing},
      {"udp6", sockets + "00000000000000000000000000000000:F500 00000000:0000 07\n", holder},
  };
  source_.Set({Fake::Entry("eth0", 1, kAdapterTypeEthernet, "10.1.2.3", "255.0.0.0")});
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + ": " + c.text);
    Reset();
    Write(c.file, c.text);
    const std::vector<SearchFinding> findings = Diagnose();
    ASSERT_EQ(findings.size(), 2u);
    EXPECT_NE(findings[1].todo.find(c.todo), std::string::npos) << findings[1].todo;
  }
}

}  // namespace
