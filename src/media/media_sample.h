#pragma once

#include <cstdint>
#include <memory>

#include "media/ring_memory.h"

// One part of a camera stream: the 28-byte media header, then the payload
// (a JPEG image or a packet of audio samples). Whoever holds a sample owns it
// and deletes it, which gives its memory back.
class IMediaSample {
 public:
  virtual int GetType() const = 0;
  // The 28-byte media header.
  virtual const uint8_t* GetHeader() const = 0;
  virtual const uint8_t* GetPayload() const = 0;
  virtual int GetPayloadLength() const = 0;
  virtual ~IMediaSample() = default;
};

class NTavoMediaPool;

// A stream part held in a media pool's ring memory. Used by one thread at a
// time; the ring behind it is locked, so it may be deleted on any thread.
class NTavoMediaSample : public IMediaSample {
 public:
  static constexpr int kType = 10;

  int GetType() const override { return kType; }
  const uint8_t* GetHeader() const override { return block_; }
  const uint8_t* GetPayload() const override { return block_ + kHeaderSize; }
  int GetPayloadLength() const override { return payload_length_; }
  // Gives the block back to the pool's ring.
  ~NTavoMediaSample() override;

  // The whole part (header and payload) for the stream reader to fill.
  uint8_t* block() { return block_; }
  int part_length() const { return part_length_; }

 private:
  friend class NTavoMediaPool;
  static constexpr int kHeaderSize = 28;
  explicit NTavoMediaSample(NTavoMediaPool* pool) : pool_(pool) {}

  int payload_length_ = 0;
  int part_length_ = 0;      // bytes of the part, header included
  uint32_t block_size_ = 0;  // bytes taken from the ring
  uint8_t* block_ = nullptr;
  NTavoMediaPool* pool_;  // not owned
};

// The memory of one stream's parts: a 1 MiB ring from which each part gets
// one block. NewSample and sample deletion may run on different threads.
class NTavoMediaPool {
 public:
  explicit NTavoMediaPool(uint32_t capacity = URingMemory::kDefaultCapacity);
  virtual ~NTavoMediaPool();

  // A sample holding a part of `size` bytes (1 to 524288), or null when the
  // ring has no room now. A part shorter than the media header gets a zeroed
  // header and an empty payload, never a negative length.
  std::unique_ptr<NTavoMediaSample> NewSample(int size);

  URingMemory& ring() { return ring_; }

 private:
  friend class NTavoMediaSample;
  URingMemory ring_;
};
