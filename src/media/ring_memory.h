#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

// A fixed ring of memory handing out 16-byte aligned blocks that are normally
// given back in the order they were taken; blocks given back early wait in a
// map until the blocks in front of them return. Alloc and Free may be called
// from any thread: every member below is guarded by mu_.
class URingMemory {
 public:
  static constexpr uint32_t kDefaultCapacity = 1048576;
  static constexpr int kGranuleShift = 4;

  explicit URingMemory(uint32_t capacity = kDefaultCapacity);
  virtual ~URingMemory();
  URingMemory(const URingMemory&) = delete;
  URingMemory& operator=(const URingMemory&) = delete;

  // A block of at least `size` bytes, or null when it fits neither before
  // the end of the buffer nor before the oldest block still in use.
  void* Alloc(uint32_t size);
  // Gives back a block; `size` is the one given to Alloc. Null is ignored.
  void Free(void* block, uint32_t size);

  // Read by tests and diagnostics.
  const uint8_t* base() const { return base_; }
  uint32_t capacity() const { return capacity_; }
  const uint8_t* release_position() const;
  const uint8_t* allocation_position() const;
  size_t early_release_count() const;

 private:
  uint32_t Round(uint32_t size) const;
  void SkipWrapMark();

  mutable std::mutex mu_;
  uint8_t* base_ = nullptr;
  uint32_t capacity_ = 0;
  uint8_t* release_ = nullptr;                // start of the oldest block still in use
  uint8_t* allocation_ = nullptr;             // where the next block goes
  uint8_t* wrap_mark_ = nullptr;              // allocation position when a block went to base
  std::map<const uint8_t*, uint32_t> early_;  // block address to rounded size
};
