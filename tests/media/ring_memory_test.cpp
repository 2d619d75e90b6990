#include "media/ring_memory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kMiB = 1048576;

TEST(URingMemory, BlocksAreRoundedTo16Bytes) {
  URingMemory ring;
  auto* a = static_cast<uint8_t*>(ring.Alloc(1));
  auto* b = static_cast<uint8_t*>(ring.Alloc(17));
  auto* c = static_cast<uint8_t*>(ring.Alloc(16));
  EXPECT_EQ(a, ring.base());
  EXPECT_EQ(b - a, 16);
  EXPECT_EQ(c - b, 32);
  EXPECT_EQ(ring.Alloc(0), nullptr);
  EXPECT_EQ(ring.Alloc(kMiB), nullptr);
}

TEST(URingMemory, HalfTheRingFitsAtBaseOfAnEmptyRing) {
  URingMemory ring;
  void* a = ring.Alloc(524288);
  ASSERT_EQ(a, ring.base());
  EXPECT_EQ(ring.Alloc(524288), nullptr);  // would end exactly at the buffer's end
  ring.Free(a, 524288);
  // Empty with both positions in the middle: the ring starts over at base,
  // else this request could never be met.
  EXPECT_EQ(ring.Alloc(524288), ring.base());
  EXPECT_EQ(ring.Alloc(kMiB - 524288), nullptr);
  EXPECT_NE(ring.Alloc(kMiB - 524288 - 16), nullptr);
}

TEST(URingMemory, EarlyReleaseWaitsForTheBlockInFront) {
  URingMemory ring;
  void* a = ring.Alloc(100);
  void* b = ring.Alloc(200);
  ring.Free(b, 200);
  EXPECT_EQ(ring.release_position(), a);
  EXPECT_EQ(ring.early_release_count(), 1u);
  ring.Free(a, 100);
  EXPECT_EQ(ring.release_position(), ring.allocation_position());
  EXPECT_EQ(ring.early_release_count(), 0u);
  ring.Free(nullptr, 10);  // ignored
}

TEST(URingMemory, ReleaseFollowsTheWrapBackToBase) {
  URingMemory ring(4096);
  void* a = ring.Alloc(1024);
  void* b = ring.Alloc(2048);
  void* c = ring.Alloc(512);  // ends at 3584
  ring.Free(a, 1024);
  void* d = ring.Alloc(768);  // does not fit before the end: wraps to base
  ASSERT_EQ(d, ring.base());
  EXPECT_EQ(ring.Alloc(300), nullptr);  // 768 + 304 would reach the release position
  ring.Free(b, 2048);
  ring.Free(c, 512);  // reaches the wrap mark: release jumps to base
  EXPECT_EQ(ring.release_position(), ring.base());
  void* e = ring.Alloc(2000);
  EXPECT_EQ(e, ring.base() + 768);
  ring.Free(d, 768);
  ring.Free(e, 2000);
  EXPECT_EQ(ring.release_position(), ring.allocation_position());
}

// Random allocations and releases in random order, checked against a list of
// live blocks: blocks are aligned, inside the buffer, never overlap, keep
// their contents, and all memory comes back.
TEST(URingMemory, RandomUseAgreesWithModel) {
  struct Live {
    uint8_t* p;
    uint32_t size;
    uint8_t fill;
  };
  for (uint32_t capacity : {4096u, 65536u, kMiB}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      std::mt19937 rng(seed * 7919 + capacity);
      URingMemory ring(capacity);
      std::vector<Live> live;
      int allocated = 0, failed = 0;
      for (int step = 0; step < 4000; ++step) {
        if (live.empty() || rng() % 100 < 55) {
          const uint32_t size = 1 + rng() % (capacity / 5);
          auto* p = static_cast<uint8_t*>(ring.Alloc(size));
          if (!p) {
            ASSERT_FALSE(live.empty()) << "an empty ring refused " << size;
            ++failed;
            continue;
          }
          ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
          ASSERT_GE(p, ring.base());
          ASSERT_LE(p + size, ring.base() + capacity);
          for (const Live& l : live) ASSERT_TRUE(p + size <= l.p || l.p + l.size <= p);
          const uint8_t fill = static_cast<uint8_t>(rng());
          std::memset(p, fill, size);
          live.push_back({p, size, fill});
          ++allocated;
        } else {
          // Mostly the oldest block, sometimes any: early releases happen.
          const size_t i = rng() % 4 == 0 ? rng() % live.size() : 0;
          const Live l = live[i];
          for (uint32_t k = 0; k < l.size; ++k) ASSERT_EQ(l.p[k], l.fill);
          ring.Free(l.p, l.size);
          live.erase(live.begin() + static_cast<long>(i));
        }
      }
      for (const Live& l : live) ring.Free(l.p, l.size);
      EXPECT_GT(allocated, 1000);
      EXPECT_GT(failed, 0);  // the ring did fill up
      EXPECT_EQ(ring.release_position(), ring.allocation_position());
      EXPECT_EQ(ring.early_release_count(), 0u);
      EXPECT_EQ(ring.Alloc(capacity - 16), ring.base());
    }
  }
}

TEST(URingMemory, BlocksMayBeFreedOnAnotherThread) {
  URingMemory ring(65536);
  std::mutex mu;
  std::deque<std::pair<void*, uint32_t>> queue;
  std::atomic<bool> done{false};
  std::thread consumer([&] {
    for (;;) {
      std::pair<void*, uint32_t> item{nullptr, 0};
      {
        std::lock_guard<std::mutex> lock(mu);
        if (!queue.empty()) {
          item = queue.front();
          queue.pop_front();
        } else if (done) {
          return;
        }
      }
      ring.Free(item.first, item.second);
    }
  });
  int produced = 0;
  while (produced < 20000) {
    const uint32_t size = 100 + produced % 3000;
    if (void* p = ring.Alloc(size)) {
      std::lock_guard<std::mutex> lock(mu);
      queue.emplace_back(p, size);
      ++produced;
    }
  }
  done = true;
  consumer.join();
  EXPECT_EQ(ring.release_position(), ring.allocation_position());
}

}  // namespace
