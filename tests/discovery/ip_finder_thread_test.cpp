#include "discovery/ip_finder_thread.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "discovery/fake_adapter_source.h"
#include "discovery/fake_discovery_transport.h"
#include "discovery/finder_probe.h"
#include "support/hang_guard.h"

namespace {

// Finder jobs against fake adapters and datagrams in memory: nothing is
// sent anywhere, and the listening windows end at once.
class FinderJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    auto source = std::make_unique<FakeAdapterSource>();
    source_ = source.get();
    source_->Set({FakeAdapterSource::Entry("qdnone0", 1, kAdapterTypeEthernet, "192.168.1.10",
                                           "255.255.255.0", "192.168.1.1")});
    auto transport = std::make_unique<FakeDiscoveryTransport>(&clock_);
    transport_ = transport.get();
    finder_ = std::make_unique<NTavoIPFinderThread>(&FinderProbe::Callback, &probe_,
                                                    std::move(source), std::move(transport));
  }

  FinderProbe probe_;
  FakeClock clock_;  // outlives the finder, which a test may destroy while held
  FakeAdapterSource* source_ = nullptr;
  FakeDiscoveryTransport* transport_ = nullptr;
  std::unique_ptr<NTavoIPFinderThread> finder_;
};

// What the exchange takes from all it hears: a search every fitting reply
// from the address it claims for its window, a command only its first
// fitting reply that names its target; a data command waits a moment first.
// The fake clock shows the windows.
TEST_F(FinderJobs, ExchangesTakeOnlyFittingReplies) {
  using Datagram = FakeDiscoveryTransport::Datagram;
  CameraRecord camera{};
  camera.adapterAddress[0] = 0x02;
  camera.adapterAddress[5] = 1;
  std::memcpy(camera.modelName, "TAVO-C1", 7);
  Datagram good = FakeDiscoveryTransport::SearchReply(camera);
  Datagram cut = good, refused = good, elsewhere = good, spoofed = good;
  cut.bytes.pop_back();
  refused.bytes[23] = 1;
  elsewhere.adapter[5] = 9;                    // heard through another adapter
  spoofed.source = inet_addr("192.168.1.66");  // not from the address it claims
  transport_->SetReplies(kCommandSearch, {cut, good, refused, elsewhere, spoofed, good,
                                          FakeDiscoveryTransport::ResultReply(2, 0)});
  const auto start = transport_->Now();
  finder_->commandCode = kCommandSearch;
  ASSERT_TRUE(FinderProbe::RunJob(*finder_));
  EXPECT_EQ(probe_.Records().size(), 2u);
  EXPECT_EQ(RecordModelName(probe_.Records()[0]), "TAVO-C1");
  EXPECT_EQ(transport_->Now() - start, std::chrono::seconds(5));

  const uint8_t adapter[8] = {0x02, 0, 0, 0, 0, 1, 0, 0};
  finder_->SetTarget(adapter, "192.168.1.20", "001122334455", "pw");
  Datagram foreign = FakeDiscoveryTransport::ResultReply(2, 0);
  foreign.names_target = false;  // another device's MAC
  foreign.bytes[17] = 0x66;
  transport_->SetReplies(kCommandSetAddress, {foreign, FakeDiscoveryTransport::ResultReply(2, 1),
                                              FakeDiscoveryTransport::ResultReply(2, 0)});
  probe_.Clear();
  finder_->addressMode = 1;
  finder_->commandCode = kCommandSetAddress;
  ASSERT_TRUE(FinderProbe::RunJob(*finder_));
  ASSERT_EQ(probe_.Events().size(), 2u);    // the first fitting reply, then the end
  EXPECT_EQ(probe_.Events()[0].result, 0);  // refused

  Datagram data = FakeDiscoveryTransport::ResultReply(4, 0);
  data.bytes.resize(FindCommandLayout(4)->replySize);
  ParseMacText("001122334455", &data.bytes[17]);  // as the fake's answer names it
  transport_->SetReplies(4, {data});
  probe_.Clear();
  const auto before = transport_->Now();
  finder_->commandCode = 4;
  ASSERT_TRUE(FinderProbe::RunJob(*finder_));
  ASSERT_EQ(probe_.Events().size(), 2u);
  EXPECT_EQ(probe_.Events()[0].datagram, data.bytes);
  EXPECT_EQ(transport_->Now() - before, std::chrono::seconds(1));  // the pause before listening
  EXPECT_EQ(transport_->Sent(), (std::vector<int>{kCommandSearch, kCommandSearch, kCommandSearch,
                                                  kCommandSetAddress, 4}));
}

// A search sends its request three times, the same bytes a second apart,
// within its window; a camera is found by any copy it hears, and reported
// for each copy it answers.
TEST_F(FinderJobs, SearchResendsItsRequestAndACameraAnswersAnyCopy) {
  struct Case {
    std::vector<int> answers;  // the copies the camera answers
    size_t reported;
  };
  const Case cases[] = {{{0}, 1}, {{2}, 1}, {{1, 2}, 2}, {{0, 1, 2}, 3}, {{}, 0}};
  CameraRecord camera{};
  camera.adapterAddress[0] = 0x02;
  camera.adapterAddress[5] = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.answers));
    FakeDiscoveryTransport::Datagram reply = FakeDiscoveryTransport::SearchReply(camera);
    reply.answers = c.answers;
    transport_->SetReplies(kCommandSearch, {reply});
    probe_.Clear();
    const size_t sent_before = transport_->SentDatagrams().size();
    const auto start = transport_->Now();
    finder_->commandCode = kCommandSearch;
    ASSERT_TRUE(FinderProbe::RunJob(*finder_));
    EXPECT_EQ(probe_.Records().size(), c.reported);
    EXPECT_EQ(transport_->Now() - start, std::chrono::seconds(5));
    const std::vector<FakeDiscoveryTransport::SentDatagram> sent = transport_->SentDatagrams();
    ASSERT_EQ(sent.size() - sent_before, 3u);
    uint8_t request[kDiscoveryHeaderSize];
    BuildSearchRequest(request, sizeof request);
    for (size_t i = 0; i < 3; ++i) {
      const auto& d = sent[sent_before + i];
      EXPECT_EQ(d.bytes, std::vector<uint8_t>(request, request + sizeof request));
      EXPECT_EQ(d.at - start, std::chrono::seconds(i));
    }
  }
}

// A program on this computer can answer a search from any of its
// addresses: such an answer is never reported as a camera, whichever
// adapter hears it; the camera beside it still is.
TEST_F(FinderJobs, SearchNeverReportsAnAnswerFromThisComputer) {
  source_->Set(
      {FakeAdapterSource::Entry("qdnone0", 1, kAdapterTypeEthernet, "192.168.1.10",
                                "255.255.255.0"),
       FakeAdapterSource::Entry("qdnone1", 2, kAdapterTypeEthernet, "10.0.0.5", "255.0.0.0")});
  source_->SetOtherOwnAddresses({{inet_addr("172.16.0.9"), 0xFFFFFFFFu},  // a second address
                                 {inet_addr("127.0.0.0"), inet_addr("255.0.0.0")}});
  std::vector<FakeDiscoveryTransport::Datagram> replies;
  for (const char* from : {"192.168.1.10", "10.0.0.5", "172.16.0.9", "127.0.0.1", "127.3.2.1",
                           "192.168.1.20", "172.16.0.10"}) {
    CameraRecord answer{};
    answer.adapterAddress[0] = 0x02;
    answer.adapterAddress[5] = 1;
    const uint32_t address = inet_addr(from);
    std::memcpy(answer.header.ipAddress, &address, 4);
    replies.push_back(FakeDiscoveryTransport::SearchReply(answer));
  }
  transport_->SetReplies(kCommandSearch, replies);
  finder_->commandCode = kCommandSearch;
  ASSERT_TRUE(FinderProbe::RunJob(*finder_));
  std::vector<std::string> reported;
  for (const CameraRecord& record : probe_.Records())
    reported.push_back(DottedAddress(RecordIpAddress(record)));
  EXPECT_EQ(reported, (std::vector<std::string>{"192.168.1.20", "172.16.0.10"}));
  EXPECT_TRUE(probe_.EndedOnceWith(kCommandSearch));
}

TEST_F(FinderJobs, PauseAndUnknownCodesEndWithOnlyTheEndCall) {
  for (int code : {0, 12, -1}) {
    SCOPED_TRACE(code);
    probe_.Clear();
    finder_->commandCode = code;
    ASSERT_TRUE(FinderProbe::RunJob(*finder_));
    EXPECT_EQ(probe_.Events().size(), 1u);
    EXPECT_TRUE(probe_.EndedOnceWith(code));
  }
}

TEST_F(FinderJobs, NoAdapterOrNoMatchingAdapterSendsNothing) {
  const uint8_t other[8] = {0x02, 0, 0, 0, 0, 9, 0, 0};
  finder_->SetTarget(other, "192.168.1.20", "001122334455", "pw");
  finder_->addressMode = 1;
  finder_->commandCode = kCommandSetAddress;
  ASSERT_TRUE(FinderProbe::RunJob(*finder_));
  EXPECT_EQ(probe_.Events().size(), 1u);
  EXPECT_TRUE(probe_.EndedOnceWith(kCommandSetAddress));

  probe_.Clear();
  source_->Set({});
  finder_->commandCode = kCommandSearch;
  ASSERT_TRUE(FinderProbe::RunJob(*finder_));
  EXPECT_EQ(probe_.Events().size(), 1u);
  EXPECT_TRUE(probe_.EndedOnceWith(kCommandSearch));
  EXPECT_TRUE(transport_->Sent().empty());
}

TEST_F(FinderJobs, StartWhileRunningIsRefusedAndTheJobRunsOnce) {
  finder_->commandCode = 0;
  transport_->hold = true;  // the fake clock would end the pause at once
  ASSERT_TRUE(finder_->Start());
  EXPECT_FALSE(finder_->Start());
  transport_->hold = false;
  ASSERT_TRUE(finder_->WaitForEnd(std::chrono::seconds(10)));
  EXPECT_EQ(probe_.Events().size(), 1u);
  // commandCode keeps its value: a second Start repeats the job.
  ASSERT_TRUE(FinderProbe::RunJob(*finder_));
  EXPECT_EQ(probe_.Events().size(), 2u);
}

TEST_F(FinderJobs, DestroyingDuringAJobWaitsForItsEnd) {
  finder_->commandCode = 0;
  transport_->hold = true;
  ASSERT_TRUE(finder_->Start());
  std::thread release([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    clock_.hold = false;
  });
  finder_.reset();
  release.join();
  EXPECT_TRUE(probe_.EndedOnceWith(0));
}

// The owner stops the finder at shut-down: whatever the job waits for (the
// pause, a search's answers, a command's reply, a data command's moment
// before listening), it ends at once, sends nothing more (no further copy,
// no further adapter), and still reports its end. The held clock shows no
// time passed.
TEST_F(FinderJobs, StopEndsEveryWaitAtOnce) {
  source_->Set({FakeAdapterSource::Entry("qdnone0", 1, kAdapterTypeEthernet, "192.168.1.10",
                                         "255.255.255.0", "192.168.1.1"),
                FakeAdapterSource::Entry("qdnone1", 2, kAdapterTypeEthernet, "192.168.2.10",
                                         "255.255.255.0", "192.168.2.1")});
  const uint8_t adapter[8] = {0x02, 0, 0, 0, 0, 1, 0, 0};
  finder_->SetTarget(adapter, "192.168.1.20", "001122334455", "pw");
  finder_->addressMode = 1;
  for (int code : {0, kCommandSearch, kCommandSetAddress, 4}) {
    SCOPED_TRACE(code);
    probe_.Clear();
    const size_t sent_before = transport_->Sent().size();
    const auto before = transport_->Now();
    transport_->hold = true;
    finder_->commandCode = code;
    ASSERT_TRUE(finder_->Start());
    // In its first wait: after its request, where there is one.
    while (code != 0 && transport_->Sent().size() == sent_before) std::this_thread::yield();
    finder_->Stop();
    // Bounded, so that a wait the stop misses fails instead of hanging.
    EXPECT_TRUE(finder_->WaitForEnd(testsupport::HungAfter(std::chrono::seconds(1))))
        << "hung: the job did not end once stopped";
    transport_->hold = false;
    ASSERT_TRUE(finder_->WaitForEnd());
    EXPECT_TRUE(probe_.EndedOnceWith(code));
    EXPECT_EQ(transport_->Now(), before);
    EXPECT_EQ(transport_->Sent().size() - sent_before, code == 0 ? 0u : 1u);
  }
}

TEST_F(FinderJobs, SetTargetRefusesAPasswordThatDoesNotFit) {
  const uint8_t adapter[8] = {0x02, 0, 0, 0, 0, 1, 0, 0};
  const std::string fits(63, 'p'), tooLong(64, 'p');
  EXPECT_TRUE(finder_->SetTarget(adapter, "192.168.1.20", "001122334455", fits.c_str()));
  EXPECT_EQ(std::string(finder_->password), fits);
  EXPECT_STREQ(finder_->userName, "admin");
  EXPECT_EQ(std::memcmp(finder_->targetAdapter, adapter, 8), 0);
  EXPECT_FALSE(finder_->SetTarget(nullptr, nullptr, nullptr, tooLong.c_str()));
  EXPECT_EQ(finder_->password[0], '\0');
  EXPECT_STREQ(finder_->cameraIp, "192.168.1.20");  // null texts keep the old ones
  EXPECT_EQ(std::memcmp(finder_->targetAdapter, adapter, 8), 0);

  finder_->SetAddressSettings(0, "192.168.1.30", "255.255.255.0", "192.168.1.1");
  EXPECT_STREQ(finder_->newIp, "192.168.1.30");
  finder_->SetAddressSettings(1, "this text is too long", nullptr, nullptr);
  EXPECT_EQ(finder_->addressMode, 1);
  EXPECT_STREQ(finder_->newIp, "192.168.1.30");
}

TEST_F(FinderJobs, QuestionsReadTheAdaptersAfresh) {
  CameraRecord camera{};
  const uint32_t ip = inet_addr("10.0.0.7"), mask = inet_addr("255.0.0.0");
  std::memcpy(camera.header.ipAddress, &ip, 4);
  std::memcpy(camera.subnetMask, &mask, 4);
  const uint8_t adapter[8] = {0x02, 0, 0, 0, 0, 1, 0, 0};
  std::memcpy(camera.adapterAddress, adapter, 8);
  EXPECT_FALSE(finder_->IsSameSubnet(camera));
  source_->Set({FakeAdapterSource::Entry("qdnone0", 1, kAdapterTypeEthernet, "10.1.2.3",
                                         "255.0.0.0", "10.0.0.1")});
  EXPECT_TRUE(finder_->IsSameSubnet(camera));
  EXPECT_TRUE(finder_->DiffersFromAdapterAddress(camera, ip));
  EXPECT_FALSE(finder_->DiffersFromAdapterAddress(camera, inet_addr("10.1.2.3")));
  uint32_t address = 0, outMask = 0, gateway = 0, dns1 = 0, dns2 = 0;
  finder_->ProposeSettings(camera, &address, &outMask, &gateway, &dns1, &dns2);
  EXPECT_EQ(address, inet_addr("10.0.0.2"));
  EXPECT_EQ(gateway, inet_addr("10.0.0.1"));
  source_->Set({});
  EXPECT_FALSE(finder_->IsSameSubnet(camera));
  EXPECT_TRUE(finder_->Adapters().empty());
}

TEST(FinderCreate, MakesAFinderWithTheSystemAdapters) {
  IsolatedNetwork isolated;
  ASSERT_TRUE(isolated.ok());
  FinderProbe probe;
  std::unique_ptr<NTavoIPFinderThread> finder =
      NTavoIPFinderThread::Create(&FinderProbe::Callback, &probe);
  ASSERT_NE(finder, nullptr);
  EXPECT_STREQ(finder->ThreadName(), "IPFinder Thread");
  // A new namespace has only a loopback interface: no usable adapter.
  EXPECT_TRUE(finder->Adapters().empty());
  finder->commandCode = kCommandSearch;
  ASSERT_TRUE(FinderProbe::RunJob(*finder));
  EXPECT_TRUE(probe.EndedOnceWith(kCommandSearch));
  EXPECT_NE(finder->queueThreadId.load(), 0u);
}

}  // namespace
