// The video and audio stream threads against the camera simulator on
// loopback: drawing goes on through the simulator's faults and restarts,
// and stopping never waits for a silent camera.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "media/audio_thread.h"
#include "media/video_thread.h"
#include "support/camsim_process.h"
#include "support/fake_live_target.h"
#include "support/hang_guard.h"
#include "support/vlan.h"

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::CamsimProcess;

class LiveStream : public testing::Test {
 protected:
  void StartCamera(std::vector<std::string> args) {
    args.insert(args.begin(), {"--fps", "30", "--size", "320x240"});
    sim_ = std::make_unique<CamsimProcess>(args);
    ASSERT_TRUE(sim_->ok()) << sim_->error();
  }
  void StartVideo() {
    video_.SetLiveWindow(&target_);
    video_.SetCamera(L"127.0.0.1", sim_->port(), L"kerut");
    ASSERT_TRUE(video_.Start());
  }
  // Stops both threads as the dialog does: how long until neither runs.
  Clock::duration StopAll() {
    const Clock::time_point start = Clock::now();
    video_.Stop();
    audio_.Stop();
    while (video_.IsRunning() || audio_.IsRunning())
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return Clock::now() - start;
  }
  void TearDown() override { StopAll(); }

  std::unique_ptr<CamsimProcess> sim_;
  FakeLiveTarget target_;
  NTavoVideoThread video_;
  NTavoAudioThread audio_;
};

TEST_F(LiveStream, DrawingGoesOnThroughBrokenParts) {
  for (const char* fault : {"none", "close-mid-part", "garbage-part", "wrong-length"}) {
    SCOPED_TRACE(fault);
    ASSERT_NO_FATAL_FAILURE(StartCamera({"--fault", fault, "--fault-part", "3"}));
    StartVideo();
    // Well past the broken part; a closed connection is opened again.
    EXPECT_TRUE(target_.WaitForDrawn(target_.Drawn() + 12, 10000));
    StopAll();
  }
  EXPECT_EQ(target_.surfaces.front(), (std::pair<int, int>{320, 240}));
}

TEST_F(LiveStream, DrawingResumesWhenTheCameraComesBack) {
  ASSERT_NO_FATAL_FAILURE(StartCamera({}));
  StartVideo();
  ASSERT_TRUE(target_.WaitForDrawn(3));
  const uint16_t port = sim_->port();
  sim_->Stop();
  // The last picture does not stay as if live, also through a few failed opens.
  for (int waited = 0; target_.releases.load() == 0 && waited < 10000; waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  EXPECT_EQ(target_.releases.load(), 1);
  const size_t before = target_.Drawn();
  ASSERT_NO_FATAL_FAILURE(StartCamera({"--port", std::to_string(port)}));
  EXPECT_TRUE(target_.WaitForDrawn(before + 5, 10000));
}

TEST_F(LiveStream, StoppingDoesNotWaitForASilentCamera) {
  ASSERT_NO_FATAL_FAILURE(StartCamera({"--fault", "stall-header"}));
  StartVideo();
  audio_.SetCamera(L"127.0.0.1", sim_->port(), L"kerut");
  ASSERT_TRUE(audio_.Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both wait for a reply
  // Stopping wakes both reads; waiting for the reply's time-out would hang.
  EXPECT_TRUE(testsupport::EndsWithoutHanging("stopping", std::chrono::milliseconds(200),
                                              [this] { StopAll(); }));
  EXPECT_EQ(target_.Drawn(), 0u);
  EXPECT_FALSE(video_.camera().http().socket().IsOpen());
  EXPECT_FALSE(audio_.camera().http().socket().IsOpen());
}

// A camera that restarts never closes its old stream: the wizard's side of
// the connection hears nothing more. Here the camera's link goes down and a
// fresh camera takes its address, as a restarted one would; only a probe of
// the quiet connection learns that it is gone.
TEST(LiveStreamLan, DrawingResumesAfterTheCameraRestartsWithoutAWord) {
  testsupport::VirtualLan lan;
  ASSERT_TRUE(lan.AddSegment("a") &&
              lan.AddPcAdapter("qa0", "a", "02:00:00:00:0a:01", "192.168.1.10/24") &&
              lan.AddCamera("old", "a", "192.168.1.20/24", {"--fps", "30", "--size", "320x240"}))
      << lan.Error();
  const auto pc = lan.EnterPc();
  ASSERT_TRUE(pc->ok());
  FakeLiveTarget target;
  NTavoVideoThread video;
  video.SetLiveWindow(&target);
  video.SetCamera(L"192.168.1.20", 80, L"kerut");
  ASSERT_TRUE(video.Start());
  ASSERT_TRUE(target.WaitForDrawn(3));
  ASSERT_EQ(lan.Ip("old", {"link", "set", "eth0", "down"}), 0);
  ASSERT_TRUE(lan.AddCamera("new", "a", "192.168.1.20/24", {"--fps", "30", "--size", "320x240"}))
      << lan.Error();
  ASSERT_EQ(lan.Ip("pc", {"neigh", "flush", "all"}), 0);  // the address has a new owner
  const size_t before = target.Drawn();
  EXPECT_TRUE(target.WaitForDrawn(before + 5, 20000));
  video.Stop();
  EXPECT_TRUE(video.WaitForEnd(std::chrono::seconds(2)));
}

}  // namespace
