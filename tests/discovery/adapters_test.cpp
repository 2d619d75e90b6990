#include "discovery/adapters.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "discovery/adapters_linux.h"
#include "discovery/fake_adapter_source.h"

namespace {

uint32_t Ip(const char* text) { return inet_addr(text); }

CameraRecord Camera(const char* ip, const char* mask, uint8_t adapterLastByte) {
  CameraRecord record{};
  const uint32_t address = Ip(ip), netmask = Ip(mask);
  std::memcpy(record.header.ipAddress, &address, 4);
  std::memcpy(record.subnetMask, &netmask, 4);
  const uint8_t adapter[8] = {0x02, 0, 0, 0, 0, adapterLastByte, 0, 0};
  std::memcpy(record.adapterAddress, adapter, 8);
  return record;
}

struct Proposal {
  uint32_t address = 0, mask = 0, gateway = 0, dns1 = 0, dns2 = 0;
  ProposedSettings Out() { return {&address, &mask, &gateway, &dns1, &dns2}; }
};

TEST(AdapterList, KeepsConnectedEthernetAndWirelessInOrder) {
  FakeAdapterSource source;
  source.Set(
      {FakeAdapterSource::Entry("lo", 0, kAdapterTypeLoopback, "127.0.0.1", "255.0.0.0"),
       FakeAdapterSource::Entry("wlan0", 1, kAdapterTypeWireless, "192.168.0.5", "255.255.255.0"),
       FakeAdapterSource::Entry("eth1", 2, kAdapterTypeEthernet, "0.0.0.0", "0.0.0.0"),
       FakeAdapterSource::Entry("tun0", 3, kAdapterTypeOther, "10.8.0.2", "255.255.0.0"),
       FakeAdapterSource::Entry("eth0", 4, kAdapterTypeEthernet, "10.1.2.3", "255.0.0.0")});
  const std::vector<AdapterEntry> usable = ListUsableAdapters(source);
  ASSERT_EQ(usable.size(), 2u);
  EXPECT_STREQ(usable[0].name, "wlan0");
  EXPECT_STREQ(usable[1].name, "eth0");
  source.Fail(true);
  EXPECT_TRUE(ListUsableAdapters(source).empty());
}

TEST(SubnetRules, SameSubnetUsesTheCamerasOwnMask) {
  const std::vector<AdapterEntry> adapters = {
      FakeAdapterSource::Entry("wlan0", 1, kAdapterTypeWireless, "192.168.0.5", "255.255.255.0"),
      FakeAdapterSource::Entry("eth0", 2, kAdapterTypeEthernet, "10.1.2.3", "255.0.0.0")};
  EXPECT_FALSE(IsSameSubnet(adapters, Camera("192.168.1.20", "255.255.255.0", 1)));
  EXPECT_TRUE(IsSameSubnet(adapters, Camera("192.168.0.77", "255.255.255.0", 1)));
  EXPECT_TRUE(IsSameSubnet(adapters, Camera("10.0.0.7", "255.0.0.0", 2)));
  // The right network, but answered through the other adapter.
  EXPECT_FALSE(IsSameSubnet(adapters, Camera("10.0.0.7", "255.0.0.0", 1)));
  EXPECT_FALSE(IsSameSubnet(adapters, Camera("10.0.0.7", "255.0.0.0", 9)));  // adapter gone
  EXPECT_FALSE(IsSameSubnet({}, Camera("10.0.0.7", "255.0.0.0", 2)));
  // Masks with a hole are no subnet, though the masked addresses agree:
  // 192.168.9.76 & 255.255.0.1 is 192.168.0.0, 10.0.2.7/24 is 10.1.2.3 & 255.0.255.0.
  EXPECT_FALSE(IsSameSubnet(adapters, Camera("192.168.9.76", "255.255.0.1", 1)));
  const std::vector<AdapterEntry> holed = {
      FakeAdapterSource::Entry("eth0", 2, kAdapterTypeEthernet, "10.1.2.3", "255.0.255.0")};
  EXPECT_FALSE(IsSameSubnet(holed, Camera("10.0.2.7", "255.255.255.0", 2)));
}

TEST(SubnetRules, SameSubnetTriesEveryAdapterWithTheAddress) {
  // Two entries with one hardware address: the second one's network matches.
  const std::vector<AdapterEntry> adapters = {
      FakeAdapterSource::Entry("eth0", 1, kAdapterTypeEthernet, "192.168.0.5", "255.255.255.0"),
      FakeAdapterSource::Entry("eth0b", 1, kAdapterTypeEthernet, "10.1.2.3", "255.0.0.0")};
  EXPECT_TRUE(IsSameSubnet(adapters, Camera("10.9.9.9", "255.0.0.0", 1)));
}

TEST(SubnetRules, ProposalSkipsOwnAddressAndGateway) {
  FakeAdapterSource source;
  const uint32_t dns[] = {Ip("192.168.1.53"), Ip("9.9.9.9"), Ip("1.1.1.1")};
  struct Case {
    const char *own, *gateway, *expected;
  };
  const Case cases[] = {{"192.168.1.1", "192.168.1.2", "192.168.1.3"},
                        {"192.168.1.100", "192.168.1.1", "192.168.1.2"},
                        {"192.168.1.2", "192.168.1.1", "192.168.1.3"},
                        {"192.168.1.50", "0.0.0.0", "192.168.1.1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.own);
    const std::vector<AdapterEntry> adapters = {FakeAdapterSource::Entry(
        "eth0", 1, kAdapterTypeEthernet, c.own, "255.255.255.0", c.gateway)};
    source.Set(adapters, {dns[0], dns[1], dns[2]});
    Proposal p;
    ProposeSettings(adapters, source, Camera("10.0.0.9", "255.0.0.0", 1), p.Out());
    EXPECT_EQ(p.address, Ip(c.expected));
    EXPECT_NE(p.address, Ip(c.own));
    EXPECT_NE(p.address, Ip(c.gateway));
    EXPECT_EQ(p.mask, Ip("255.255.255.0"));
    EXPECT_EQ(p.gateway, Ip(c.gateway));
    EXPECT_EQ(p.dns1, dns[0]);
    EXPECT_EQ(p.dns2, dns[1]);
  }
}

TEST(SubnetRules, ProposalWrapsTheLastOctetOnly) {
  FakeAdapterSource source;
  // Network .0 plus one is the gateway: one more raise.
  const std::vector<AdapterEntry> wide = {FakeAdapterSource::Entry(
      "eth0", 1, kAdapterTypeEthernet, "10.0.0.0", "255.255.255.254", "10.0.0.1")};
  Proposal p;
  ProposeSettings(wide, source, Camera("1.2.3.4", "255.0.0.0", 1), p.Out());
  EXPECT_EQ(p.address, Ip("10.0.0.2"));
  const std::vector<AdapterEntry> top = {FakeAdapterSource::Entry(
      "eth0", 1, kAdapterTypeEthernet, "172.16.5.255", "255.255.255.255", "172.16.5.0")};
  Proposal q;
  ProposeSettings(top, source, Camera("1.2.3.4", "255.0.0.0", 1), q.Out());
  // Network .255 + 1 wraps to .0, which is the gateway: one more raise.
  EXPECT_EQ(q.address, Ip("172.16.5.1"));
}

TEST(SubnetRules, ProposalLeavesOutputsWhenItCannotTell) {
  FakeAdapterSource source;
  const std::vector<AdapterEntry> adapters = {FakeAdapterSource::Entry(
      "eth0", 1, kAdapterTypeEthernet, "192.168.1.10", "255.255.255.0", "192.168.1.1")};
  Proposal p{7, 7, 7, 7, 7};
  ProposeSettings(adapters, source, Camera("1.2.3.4", "255.0.0.0", 5), p.Out());
  EXPECT_EQ(p.address + p.mask + p.gateway + p.dns1 + p.dns2, 35u);
  source.Set(adapters, {Ip("8.8.8.8")});  // one DNS server: the second stays
  ProposeSettings(adapters, source, Camera("1.2.3.4", "255.0.0.0", 1), p.Out());
  EXPECT_EQ(p.address, Ip("192.168.1.2"));
  EXPECT_EQ(p.dns1, Ip("8.8.8.8"));
  EXPECT_EQ(p.dns2, 7u);
}

TEST(SubnetRules, DiffersFromAdapterAddress) {
  const std::vector<AdapterEntry> adapters = {FakeAdapterSource::Entry(
      "eth0", 1, kAdapterTypeEthernet, "192.168.1.10", "255.255.255.0", "192.168.1.1")};
  const CameraRecord camera = Camera("192.168.1.20", "255.255.255.0", 1);
  EXPECT_FALSE(DiffersFromAdapterAddress(adapters, camera, Ip("192.168.1.10")));
  EXPECT_TRUE(DiffersFromAdapterAddress(adapters, camera, Ip("192.168.1.11")));
  EXPECT_FALSE(
      DiffersFromAdapterAddress(adapters, Camera("1.2.3.4", "255.0.0.0", 8), Ip("9.9.9.9")));
}

TEST(LinuxAdapterFacts, DefaultGatewayOfTheInterface) {
  const char* table =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "eth0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "eth0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
      "eth0\t00000000\t0201A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "wlan0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"
      "eth10\t00000000\t0A0A0A0A\t0003\t0\t0\t0\t00000000\t0\t0\t0\n";
  uint32_t gateway = 0;
  ASSERT_TRUE(ParseDefaultGateway(table, "eth0", &gateway));
  EXPECT_EQ(gateway, Ip("192.168.1.2"));                        // the lower metric
  EXPECT_FALSE(ParseDefaultGateway(table, "wlan0", &gateway));  // no gateway flag
  EXPECT_FALSE(ParseDefaultGateway(table, "eth1", &gateway));
  EXPECT_FALSE(ParseDefaultGateway("eth0\tzz\n", "eth0", &gateway));
}

TEST(LinuxAdapterFacts, DnsServerTexts) {
  const std::vector<uint32_t> conf = ParseResolvConf(
      "# comment\nsearch lan\nnameserver 192.168.1.1\nnameserver fe80::1%eth0\n"
      "  nameserver\t9.9.9.9\nnameserver 1.2.3.4.5\nnameserver");
  EXPECT_EQ(conf, (std::vector<uint32_t>{Ip("192.168.1.1"), Ip("9.9.9.9")}));
  const std::vector<uint32_t> link = ParseResolvedLinkDns(
      "# comment\nADDRESSES=1.2.3.4\nDNS=10.0.0.1 2001:db8::1 "
      "10.0.0.2#dns.example 10.0.0.3:53\nNTP=\n");
  EXPECT_EQ(link, (std::vector<uint32_t>{Ip("10.0.0.1"), Ip("10.0.0.2"), Ip("10.0.0.3")}));
}

// The DNS fall-backs against files of our own.
class DnsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/quenlo-dns-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::filesystem::create_directories(dir_ + "/netif");
    paths_.resolvedLinks = dir_ + "/netif";
    paths_.resolvConf = dir_ + "/resolv.conf";
    paths_.resolvedResolvConf = dir_ + "/resolved.conf";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ + "/" + name) << text;
  }

  std::string dir_;
  LinuxAdapterPaths paths_;
};

TEST_F(DnsFiles, LinkServersFirstThenResolvConfThenResolvedCopy) {
  Write("resolv.conf", "nameserver 127.0.0.53\noptions edns0\n");
  Write("resolved.conf", "nameserver 192.168.7.1\nnameserver 192.168.7.2\n");
  EXPECT_EQ(ReadDnsServers(paths_, 3),
            (std::vector<uint32_t>{Ip("192.168.7.1"), Ip("192.168.7.2")}));
  Write("netif/3", "DNS=10.3.3.3\n");
  EXPECT_EQ(ReadDnsServers(paths_, 3), std::vector<uint32_t>{Ip("10.3.3.3")});
  EXPECT_EQ(ReadDnsServers(paths_, 4).size(), 2u);  // another link has none of its own
  Write("resolv.conf", "nameserver 127.0.0.53\nnameserver 8.8.8.8\n");
  EXPECT_EQ(ReadDnsServers(paths_, 4), (std::vector<uint32_t>{Ip("127.0.0.53"), Ip("8.8.8.8")}));
  std::filesystem::remove(paths_.resolvConf);
  EXPECT_TRUE(ReadDnsServers(paths_, 4).empty());
}

TEST(LinuxAdapterFacts, SystemListHasNoLoopbackOrDownAdapters) {
  // Reads this machine's interfaces without sending anything.
  std::unique_ptr<AdapterSource> source = MakeSystemAdapterSource();
  std::vector<AdapterEntry> all;
  ASSERT_TRUE(source->ListAdapters(&all));
  bool sawLoopback = false;
  for (const AdapterEntry& e : all) {
    if (std::strcmp(e.name, "lo") == 0) {
      sawLoopback = true;
      EXPECT_EQ(e.type, kAdapterTypeLoopback);
    }
  }
  EXPECT_TRUE(sawLoopback);
  // Every adapter's address is this computer's own, and so is the whole
  // loopback network; a documentation address is not.
  const std::vector<OwnAddressRange> own = source->OwnAddresses();
  EXPECT_TRUE(IsOwnAddress(own, Ip("127.0.0.1")));
  EXPECT_TRUE(IsOwnAddress(own, Ip("127.200.0.9")));
  EXPECT_FALSE(IsOwnAddress(own, Ip("192.0.2.77")));
  for (const AdapterEntry& e : ListUsableAdapters(*source)) {
    EXPECT_TRUE(e.type == kAdapterTypeEthernet || e.type == kAdapterTypeWireless);
    EXPECT_STRNE(e.ipAddress, "0.0.0.0");
    EXPECT_EQ(e.address[6] | e.address[7], 0);
    EXPECT_TRUE(IsOwnAddress(own, Ip(e.ipAddress))) << e.name;
  }
}

}  // namespace
