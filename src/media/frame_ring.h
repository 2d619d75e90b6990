#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

// Whole JPEG frames with sequence numbers, from the video thread (Put) to the
// decode and draw thread (Get). The writer never waits for the reader: a slow
// reader loses frames and jumps to the newest one. Every member below is
// guarded by mu_, held for one whole Put or Get, copy included.
//
// The buffer is a chain of blocks, each a 24-byte header followed by its frame
// bytes. Links are byte offsets into the buffer rather than pointers, so the
// header keeps its 24 bytes on every platform.
class UFrameRing {
 public:
  static constexpr uint32_t kCapacity = 3145728;
  static constexpr uint32_t kHeaderSize = 24;
  static constexpr uint32_t kSpare = 1024;
  // Room of the destination that Get copies into.
  static constexpr uint32_t kGetCapacity = 319488;

  UFrameRing() = default;
  ~UFrameRing() { Destroy(); }
  UFrameRing(const UFrameRing&) = delete;
  UFrameRing& operator=(const UFrameRing&) = delete;

  // 0, or -1 when the buffer can't be allocated or `capacity` is not a
  // multiple of 4 with room for at least one block.
  int Init(uint32_t capacity = kCapacity);
  using TimePoint = std::chrono::steady_clock::time_point;
  // Frames whose arrival time is kept: a reader further behind gets the epoch.
  static constexpr uint32_t kArrivalSlots = 64;

  // Stores a frame that arrived at `arrival`: 0, or -1 for a null or empty
  // frame, one whose block would not be smaller than the capacity, or a ring
  // that is not initialised.
  int Put(const uint8_t* data, uint32_t length, TimePoint arrival = {});
  // Copies frame `wanted` (or, when it has been overwritten, the newest one)
  // into `destination` (kGetCapacity bytes) and advances `wanted` past it: 0.
  // -1 with nothing copied when no newer frame exists, or when the frame is
  // too large for the destination: then `wanted` moves past it, so that a
  // reader waiting for new frames is not held on it.
  // `arrival` (may be null) gets the frame's arrival time.
  int Get(uint32_t* wanted, uint8_t* destination, uint32_t* length, TimePoint* arrival = nullptr);
  // As Get, but always the newest frame: the frames between `wanted` and it
  // are passed over. For a reader that must not fall behind by working
  // through every frame that arrived while it was busy.
  int GetNewest(uint32_t* wanted, uint8_t* destination, uint32_t* length,
                TimePoint* arrival = nullptr);
  // Waits up to `timeout` until a frame numbered `wanted` or later has been
  // stored: true when one has (then Get finds it, or a newer one). An
  // Interrupt ends it early.
  bool WaitForFrame(uint32_t wanted, std::chrono::milliseconds timeout);
  // Ends the WaitForFrame in progress, or else the next one, at once: for a
  // reader with something else to do, such as stopping. Any thread.
  void Interrupt();
  void Destroy();

  // Bytes a frame of `length` bytes occupies, header included.
  static uint32_t BlockSize(uint32_t length) { return kHeaderSize + Stride(length); }
  // The sequence number the next stored frame gets.
  uint32_t next_sequence() const;

 private:
  struct Header {
    uint32_t size;      // bytes from this header to the next one
    uint32_t length;    // frame length; 0: no frame
    uint32_t sequence;  // sequence number of the frame
    uint32_t next;      // offset of the following block, or of the end marker
    uint32_t previous;  // offset of the preceding block
    uint32_t data;      // offset of the frame bytes; 0: none
  };
  static_assert(sizeof(Header) == kHeaderSize);

  static uint32_t Stride(uint32_t length) { return length - length % 4 + 4; }
  Header* At(uint32_t offset) { return reinterpret_cast<Header*>(buffer_.get() + offset); }
  uint32_t FindRoom(uint32_t need);
  bool Find(uint32_t sequence, uint32_t* offset);
  int CopyOut(uint32_t block, uint32_t* wanted, uint8_t* destination, uint32_t* length,
              TimePoint* arrival);

  mutable std::mutex mu_;
  std::condition_variable stored_;  // notified by every Put and Interrupt
  bool interrupted_ = false;        // until the wait it ends
  std::unique_ptr<uint8_t[]> buffer_;
  uint32_t write_ = 0;  // offset of the block where the next frame goes
  uint32_t first_ = 0;  // offset of the first block: always 0
  uint32_t end_ = 0;    // offset of the end marker: the capacity
  uint32_t capacity_ = 0;
  uint32_t next_sequence_ = 0;
  uint32_t newest_ = 0;  // offset of the newest frame's block, once one is stored
  // Arrival times beside the blocks, whose 24-byte layout stays as it is:
  // slot sequence % kArrivalSlots, valid while its sequence matches.
  struct Arrival {
    uint32_t sequence = 0;
    TimePoint time{};
  };
  Arrival arrivals_[kArrivalSlots];
};
