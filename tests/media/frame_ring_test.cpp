#include "media/frame_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "support/hang_guard.h"

namespace {

// Frame bytes that depend on the frame's sequence number and position.
std::vector<uint8_t> Frame(uint32_t sequence, uint32_t length) {
  std::vector<uint8_t> f(length);
  for (uint32_t i = 0; i < length; ++i) f[i] = static_cast<uint8_t>(sequence * 31 + i);
  return f;
}

class FrameRingTest : public testing::Test {
 protected:
  void Init(uint32_t capacity) { ASSERT_EQ(ring_.Init(capacity), 0); }
  void PutFrames(uint32_t first, uint32_t count, uint32_t length) {
    for (uint32_t s = first; s < first + count; ++s)
      ASSERT_EQ(ring_.Put(Frame(s, length).data(), length), 0);
  }
  // Get (GetNewest when `newest`): the sequence of the frame copied (checked
  // against its bytes), or -1.
  int64_t Get(uint32_t* wanted, bool newest = false) {
    uint32_t length = 0;
    if ((newest ? ring_.GetNewest(wanted, out_.data(), &length)
                : ring_.Get(wanted, out_.data(), &length)) != 0) {
      return -1;
    }
    const uint32_t sequence = *wanted - 1;
    EXPECT_EQ(std::vector<uint8_t>(out_.begin(), out_.begin() + length), Frame(sequence, length));
    return sequence;
  }
  UFrameRing ring_;
  std::vector<uint8_t> out_ = std::vector<uint8_t>(UFrameRing::kGetCapacity);
};

TEST_F(FrameRingTest, FramesTakeHeaderPlusLengthRoundedUpPastAMultipleOf4) {
  // 10- and 11-byte frames take 36-byte blocks, 12-byte frames 40: three fill
  // a ring of exactly three blocks, and a fourth overwrites the first and
  // drops the second, whose block follows.
  const std::pair<uint32_t, uint32_t> cases[] = {{10, 36}, {11, 36}, {12, 40}};
  for (auto [length, block] : cases) {
    UFrameRing ring;
    ASSERT_EQ(ring.Init(3 * block), 0);
    for (uint32_t s = 0; s < 3; ++s) ASSERT_EQ(ring.Put(Frame(s, length).data(), length), 0);
    uint32_t wanted = 0, got = 0;
    std::vector<uint8_t> out(UFrameRing::kGetCapacity);
    ASSERT_EQ(ring.Get(&wanted, out.data(), &got), 0);
    EXPECT_EQ(wanted, 1u) << length;  // frame 0 was still there
    EXPECT_EQ(got, length);
    ASSERT_EQ(ring.Put(Frame(3, length).data(), length), 0);
    wanted = 2;
    ASSERT_EQ(ring.Get(&wanted, out.data(), &got), 0);
    EXPECT_EQ(wanted, 3u) << length;  // frame 2 survived
    wanted = 1;
    ASSERT_EQ(ring.Get(&wanted, out.data(), &got), 0);
    EXPECT_EQ(wanted, 4u) << length;  // frame 1 did not: the newest came instead
  }
}

TEST_F(FrameRingTest, SequenceNumbersCountFramesInOrder) {
  Init(UFrameRing::kCapacity);
  uint32_t wanted = 0;
  EXPECT_EQ(Get(&wanted), -1);  // nothing stored yet
  PutFrames(0, 10, 1000);
  EXPECT_EQ(Get(&wanted), 0);
  EXPECT_EQ(wanted, 1u);
  wanted = 10;
  EXPECT_EQ(Get(&wanted), -1);
  EXPECT_EQ(wanted, 10u);
}

TEST_F(FrameRingTest, OverrunJumpsToNewestFrame) {
  Init(4 * UFrameRing::BlockSize(100));
  PutFrames(0, 10, 100);
  uint32_t wanted = 3;
  EXPECT_EQ(Get(&wanted), 9);
  EXPECT_EQ(wanted, 10u);
  wanted = 8;  // still there
  EXPECT_EQ(Get(&wanted), 8);
  // The newest only, frames still there passed over, also after the write
  // position came back to the first block.
  uint32_t next = 10;
  for (const uint32_t added : {0u, 1u, 3u}) {
    PutFrames(next, added, 100);
    next += added;
    wanted = 8;
    EXPECT_EQ(Get(&wanted, true), next - 1);
    EXPECT_EQ(wanted, next);
    EXPECT_EQ(Get(&wanted, true), -1);
  }
}

TEST_F(FrameRingTest, FrameTooLargeForGetIsSkipped) {
  Init(UFrameRing::kCapacity);
  PutFrames(0, 1, 319487);
  PutFrames(1, 1, 319488);
  uint32_t wanted = 0;
  EXPECT_EQ(Get(&wanted), 0);
  EXPECT_EQ(Get(&wanted), -1);
  EXPECT_EQ(wanted, 2u);  // past it: a reader waiting for frames is not held on it
  EXPECT_FALSE(ring_.WaitForFrame(wanted, std::chrono::milliseconds(1)));
  PutFrames(2, 1, 100);
  EXPECT_TRUE(ring_.WaitForFrame(wanted, std::chrono::milliseconds(1)));
  EXPECT_EQ(Get(&wanted), 2);
}

TEST_F(FrameRingTest, PutRefusesWhatCannotBeStored) {
  const uint8_t byte = 1;
  EXPECT_EQ(ring_.Put(&byte, 1), -1);  // not initialised
  Init(1024);
  EXPECT_EQ(ring_.Put(nullptr, 10), -1);
  EXPECT_EQ(ring_.Put(&byte, 0), -1);
  const std::vector<uint8_t> big(1000);
  EXPECT_EQ(ring_.Put(big.data(), 1000), -1);  // 24 + 1004 is not below 1024
  EXPECT_EQ(ring_.Put(big.data(), 995), 0);
  EXPECT_EQ(UFrameRing().Init(1026), -1);
}

// Random frame sizes in a small ring: whatever Get returns is a frame exactly
// as it was put, and sequences only move forward.
TEST_F(FrameRingTest, RandomSizesNeverCorruptFrames) {
  Init(20000);
  std::mt19937 rng(42);
  uint32_t wanted = 0, next = 0;
  int64_t last = -1;
  for (int round = 0; round < 3000; ++round) {
    const uint32_t puts = rng() % 4;
    for (uint32_t i = 0; i < puts; ++i) PutFrames(next++, 1, 1 + rng() % 6000);
    const int64_t got = Get(&wanted);
    if (got >= 0) {
      EXPECT_GT(got, last);
      last = got;
    }
  }
  EXPECT_GT(last, 1000);
}

TEST_F(FrameRingTest, WriterAndReaderOnTwoThreads) {
  Init(200000);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (uint32_t s = 0; s < 3000; ++s) ring_.Put(Frame(s, 500 + s % 7000).data(), 500 + s % 7000);
    done = true;
  });
  uint32_t wanted = 0;
  int64_t last = -1;
  while (!done || wanted != ring_.next_sequence()) {
    const int64_t got = Get(&wanted);
    if (got >= 0) {
      ASSERT_GT(got, last);
      last = got;
    }
  }
  writer.join();
  EXPECT_EQ(last, 2999);
}

// The decode thread sleeps in WaitForFrame; Stop must end that sleep, also
// when it comes just before the sleep begins.
TEST_F(FrameRingTest, InterruptEndsTheWaitInProgressOrTheNext) {
  Init(4096);
  const auto long_wait = std::chrono::minutes(10);
  ring_.Interrupt();
  EXPECT_TRUE(testsupport::EndsWithoutHanging(
      "a wait interrupted before it began", std::chrono::milliseconds(100),
      [&] { EXPECT_FALSE(ring_.WaitForFrame(0, long_wait)); }));
  EXPECT_TRUE(testsupport::EndsWithoutHanging(
      "a wait interrupted while waiting", std::chrono::milliseconds(100), [&] {
        std::thread waiter([&] { EXPECT_FALSE(ring_.WaitForFrame(0, long_wait)); });
        ring_.Interrupt();
        waiter.join();
      }));
  PutFrames(0, 1, 100);
  EXPECT_TRUE(ring_.WaitForFrame(0, long_wait));
}

// Each frame brings its own arrival time; a frame whose time was not kept
// (its reader far behind) brings none rather than a newer frame's.
TEST_F(FrameRingTest, ArrivalTimeTravelsWithItsFrame) {
  Init(1 << 20);
  const UFrameRing::TimePoint start{std::chrono::seconds(100)};
  const uint32_t count = UFrameRing::kArrivalSlots + 2;
  for (uint32_t s = 0; s < count; ++s)
    ASSERT_EQ(ring_.Put(Frame(s, 16).data(), 16, start + std::chrono::milliseconds(s)), 0);
  uint32_t length = 0;
  UFrameRing::TimePoint arrival;
  for (uint32_t wanted : {0u, 1u, 2u, count - 1}) {
    const uint32_t sequence = wanted;
    ASSERT_EQ(ring_.Get(&wanted, out_.data(), &length, &arrival), 0);
    EXPECT_EQ(arrival, sequence < count - UFrameRing::kArrivalSlots
                           ? UFrameRing::TimePoint{}
                           : start + std::chrono::milliseconds(sequence))
        << sequence;
  }
}

}  // namespace
