#include "thread/uthread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "thread/uthread_message.h"

namespace {

// Spins until pred holds; the bound only keeps a broken build from hanging.
template <typename Pred>
bool WaitUntil(Pred pred) {
  for (int i = 0; i < 20000; ++i) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

// A worker whose body waits for a gate, optionally polling the stop flag, and
// counts the calls of each stage.
class GatedThread : public UThread, public UThreadMessage {
 public:
  explicit GatedThread(bool polls_stop = true, int result = 0)
      : UThread("Gated Thread"), polls_stop_(polls_stop), result_(result) {}
  ~GatedThread() override {
    Open();
    WaitForEnd();
  }

  void Open() { gate_.store(true); }
  void Close() { gate_.store(false); }

  std::atomic<int> starts{0}, runs{0}, ends{0};
  std::atomic<bool> in_body{false};
  std::atomic<bool> saw_stop{false};

 protected:
  int OnStart() override {
    starts++;
    return StartMessageQueue(*this);
  }
  int Run() override {
    runs++;
    in_body.store(true);
    while (!gate_.load()) {
      if (polls_stop_ && IsStopRequested()) {
        saw_stop.store(true);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    in_body.store(false);
    return result_;
  }
  int OnEnd() override {
    ends++;
    return 0;
  }

 private:
  const bool polls_stop_;
  const int result_;
  std::atomic<bool> gate_{false};
};

// A body that only records whether it saw the stop flag before its first poll.
class FirstPollThread : public UThread {
 public:
  FirstPollThread() : UThread("first poll") {}
  ~FirstPollThread() override { WaitForEnd(); }
  std::atomic<bool> release{false};
  std::atomic<bool> stopped_at_first_poll{false};
  std::atomic<int> starts{0}, ends{0};

 protected:
  int OnStart() override {
    starts++;
    while (!release.load()) std::this_thread::yield();
    return 0;
  }
  int Run() override {
    stopped_at_first_poll.store(IsStopRequested());
    return 0;
  }
  int OnEnd() override {
    ends++;
    return 0;
  }
};

TEST(UThreadLifecycle, IdleObjectHasStopFlagSetAndNoThread) {
  GatedThread t;
  EXPECT_FALSE(t.HasThread());
  EXPECT_FALSE(t.IsRunning());
  EXPECT_TRUE(t.IsStopRequested());
  EXPECT_EQ(t.ThreadId(), 0u);
  EXPECT_EQ(t.queueThreadId.load(), 0u);
  t.Stop();
  EXPECT_TRUE(t.IsStopRequested());
  EXPECT_TRUE(t.WaitForEnd(std::chrono::milliseconds(0)));
}

TEST(UThreadLifecycle, NameIsCutToSeventyNineCharacters) {
  std::string long_name(120, 'n');
  class Named : public UThread {
   public:
    explicit Named(const char* n) : UThread(n) {}

   protected:
    int Run() override { return 0; }
  } t(long_name.c_str());
  EXPECT_EQ(std::string(t.ThreadName()), std::string(79, 'n'));
}

TEST(UThreadLifecycle, RunsStagesInOrderOnOwnThreadAndEndsWithRunResult) {
  GatedThread t(true, 7);
  ASSERT_TRUE(t.Start());
  EXPECT_TRUE(t.IsRunning());
  EXPECT_FALSE(t.IsStopRequested());
  ASSERT_TRUE(WaitUntil([&] { return t.in_body.load(); }));
  EXPECT_EQ(t.starts.load(), 1);
  EXPECT_EQ(t.ends.load(), 0);
  EXPECT_TRUE(t.IsRunning());
  t.Open();
  ASSERT_TRUE(t.WaitForEnd());
  EXPECT_FALSE(t.IsRunning());
  EXPECT_TRUE(t.IsStopRequested());
  EXPECT_EQ(t.ends.load(), 1);
  EXPECT_EQ(t.ExitCode(), 7);
  EXPECT_NE(t.ThreadId(), 0u);
  EXPECT_NE(t.ThreadId(), static_cast<uint32_t>(gettid()));
  EXPECT_EQ(t.queueThreadId.load(), t.ThreadId());
}

TEST(UThreadLifecycle, StartWhileRunningReturnsFalseAndStartsNothing) {
  GatedThread t;
  ASSERT_TRUE(t.Start());
  EXPECT_FALSE(t.Start());
  EXPECT_FALSE(t.Start());
  t.Open();
  ASSERT_TRUE(t.WaitForEnd());
  EXPECT_EQ(t.starts.load(), 1);
  EXPECT_EQ(t.runs.load(), 1);
}

TEST(UThreadLifecycle, RestartAfterEndRunsAgainOnANewThread) {
  GatedThread t;
  t.Open();
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(t.WaitForEnd());
  t.Close();
  ASSERT_TRUE(t.Start());
  EXPECT_TRUE(t.IsRunning());
  EXPECT_FALSE(t.IsStopRequested());
  t.Open();
  ASSERT_TRUE(t.WaitForEnd());
  EXPECT_EQ(t.runs.load(), 2);
  EXPECT_EQ(t.ends.load(), 2);
  EXPECT_FALSE(t.IsRunning());
}

TEST(UThreadStop, StopMakesPollingBodyEnd) {
  GatedThread t;
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(WaitUntil([&] { return t.in_body.load(); }));
  t.Stop();
  ASSERT_TRUE(t.WaitForEnd());
  EXPECT_TRUE(t.saw_stop.load());
  EXPECT_EQ(t.ends.load(), 1);
}

TEST(UThreadStop, StopDoesNotShortenBodyThatDoesNotPoll) {
  GatedThread t(false);
  ASSERT_TRUE(t.Start());
  t.Stop();
  EXPECT_TRUE(t.IsStopRequested());
  EXPECT_FALSE(
      t.WaitForEnd(std::chrono::milliseconds(200)));  // bounded wait gives up: still running
  EXPECT_TRUE(t.IsRunning());
  t.Open();
  ASSERT_TRUE(t.WaitForEnd());
  EXPECT_FALSE(t.saw_stop.load());
}

TEST(UThreadStop, StopRequestedBeforeStartDoesNotLeakIntoTheRun) {
  GatedThread t;
  t.Open();
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(t.WaitForEnd());
  t.Stop();  // finished: nothing to stop
  t.RequestStop();
  GatedThread second;
  ASSERT_TRUE(second.Start());
  EXPECT_FALSE(second.IsStopRequested());
  ASSERT_TRUE(WaitUntil([&] { return second.in_body.load(); }));
  EXPECT_TRUE(second.IsRunning());
  EXPECT_FALSE(second.saw_stop.load());
}

TEST(UThreadStop, StopBeforeFirstPollStillRunsOnStartAndOnEnd) {
  FirstPollThread t;
  ASSERT_TRUE(t.Start());
  t.Stop();
  t.release.store(true);
  ASSERT_TRUE(t.WaitForEnd());
  EXPECT_TRUE(t.stopped_at_first_poll.load());
  EXPECT_EQ(t.starts.load(), 1);
  EXPECT_EQ(t.ends.load(), 1);
}

}  // namespace
