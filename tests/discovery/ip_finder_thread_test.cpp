#include "discovery/ip_finder_thread.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "discovery/fake_adapter_source.h"
#include "discovery/finder_probe.h"

namespace {

// Finder jobs against fake adapters. The adapters' interfaces do not exist,
// and the test thread (and so the finder's thread) sits in an empty network
// namespace, so no job can send anything anywhere.
class FinderJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(isolated_.ok());
    auto source = std::make_unique<FakeAdapterSource>();
    source_ = source.get();
    source_->Set({FakeAdapterSource::Entry("qdnone0", 1, kAdapterTypeEthernet, "192.168.1.10",
                                           "255.255.255.0", "192.168.1.1")});
    finder_ =
        std::make_unique<NTavoIPFinderThread>(&FinderProbe::Callback, &probe_, std::move(source));
  }

  IsolatedNetwork isolated_;
  FinderProbe probe_;
  FakeAdapterSource* source_ = nullptr;
  std::unique_ptr<NTavoIPFinderThread> finder_;
};

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
}

TEST_F(FinderJobs, StartWhileRunningIsRefusedAndTheJobRunsOnce) {
  finder_->commandCode = 0;
  ASSERT_TRUE(finder_->Start());
  EXPECT_FALSE(finder_->Start());
  ASSERT_TRUE(finder_->WaitForEnd(100));
  EXPECT_EQ(probe_.Events().size(), 1u);
  // commandCode keeps its value: a second Start repeats the job.
  ASSERT_TRUE(FinderProbe::RunJob(*finder_));
  EXPECT_EQ(probe_.Events().size(), 2u);
}

TEST_F(FinderJobs, DestroyingDuringAJobWaitsForItsEnd) {
  finder_->commandCode = 0;
  ASSERT_TRUE(finder_->Start());
  finder_.reset();
  EXPECT_TRUE(probe_.EndedOnceWith(0));
}

// The owner stops the finder at shut-down: the 2-second pause then ends
// within a few polls, and the job still reports its end.
TEST_F(FinderJobs, StopEndsThePauseEarly) {
  finder_->commandCode = 0;
  ASSERT_TRUE(finder_->Start());
  finder_->Stop();
  EXPECT_TRUE(finder_->WaitForEnd(5));
  ASSERT_TRUE(finder_->WaitForEnd(-1));
  EXPECT_TRUE(probe_.EndedOnceWith(0));
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
