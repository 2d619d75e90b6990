#include "media/frame_ring.h"

#include <cstring>
#include <new>

int UFrameRing::Init(uint32_t capacity) {
  std::lock_guard<std::mutex> lock(mu_);
  if (capacity % 4 != 0 || capacity < 2 * kHeaderSize) return -1;
  buffer_.reset(new (std::nothrow) uint8_t[capacity + kSpare]());
  if (!buffer_) return -1;
  capacity_ = capacity;
  first_ = 0;
  end_ = capacity;
  *At(first_) = Header{capacity, 0, 0, end_, end_, first_ + kHeaderSize};
  *At(end_) = Header{0, 0, 0, first_, first_, 0};
  write_ = first_;
  next_sequence_ = 0;
  newest_ = first_;
  return 0;
}

void UFrameRing::Destroy() {
  std::lock_guard<std::mutex> lock(mu_);
  buffer_.reset();
  write_ = first_ = end_ = capacity_ = 0;
}

uint32_t UFrameRing::next_sequence() const {
  std::lock_guard<std::mutex> lock(mu_);
  return next_sequence_;
}

// The block that will take `need` bytes, starting at the write block: the
// blocks after it are absorbed (their frames lost) until it is large enough,
// and the search starts over at the first block when the end is reached.
uint32_t UFrameRing::FindRoom(uint32_t need) {
  uint32_t q = write_;
  for (;;) {
    Header* h = At(q);
    if (h->size >= need) return q;
    if (h->next == end_) {
      q = first_;
      continue;
    }
    const Header* absorbed = At(h->next);
    h->size += absorbed->size;
    h->next = absorbed->next;
  }
}

int UFrameRing::Put(const uint8_t* data, uint32_t length, TimePoint arrival) {
  if (!data || length == 0) return -1;
  std::lock_guard<std::mutex> lock(mu_);
  if (!buffer_ || length >= capacity_) return -1;
  const uint32_t need = BlockSize(length);
  if (need >= capacity_) return -1;
  const uint32_t q = FindRoom(need);
  Header* h = At(q);
  const uint32_t old = h->next;
  const bool split = old - q - need > kHeaderSize;
  if (split) {
    h->next = q + need;
    h->size = need;
  }
  h->length = length;
  h->data = q + kHeaderSize;
  h->sequence = next_sequence_++;
  newest_ = q;  // only the next Put can overwrite it
  arrivals_[h->sequence % kArrivalSlots] = Arrival{h->sequence, arrival};
  std::memcpy(buffer_.get() + h->data, data, length);

  const uint32_t n = h->next;
  write_ = n;
  if (n == end_) {
    write_ = first_;  // the first block keeps its frame until a later Put
  } else {
    Header* e = At(n);
    e->length = 0;
    e->sequence = 0;
    e->data = 0;
    e->previous = q;
    if (split) {
      e->next = old;
      e->size = old - n;
      if (old != end_) At(old)->previous = n;
    }
  }
  stored_.notify_all();
  return 0;
}

bool UFrameRing::WaitForFrame(uint32_t wanted, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mu_);
  const auto stored = [&] { return buffer_ && next_sequence_ != wanted; };
  stored_.wait_for(lock, timeout, [&] { return interrupted_ || stored(); });
  interrupted_ = false;
  return stored();
}

void UFrameRing::Interrupt() {
  std::lock_guard<std::mutex> lock(mu_);
  interrupted_ = true;
  stored_.notify_all();
}

bool UFrameRing::Find(uint32_t sequence, uint32_t* offset) {
  for (uint32_t b = first_; b != end_; b = At(b)->next) {
    const Header* h = At(b);
    if (h->length != 0 && h->sequence == sequence) {
      *offset = b;
      return true;
    }
  }
  return false;
}

int UFrameRing::Get(uint32_t* wanted, uint8_t* destination, uint32_t* length, TimePoint* arrival) {
  if (!destination || !wanted || !length) return -1;
  std::lock_guard<std::mutex> lock(mu_);
  if (!buffer_ || *wanted == next_sequence_) return -1;
  uint32_t b = 0;
  if (!Find(*wanted, &b)) {
    *wanted = next_sequence_ - 1;  // overwritten: go on with the newest frame
    if (!Find(*wanted, &b)) return -1;
  }
  return CopyOut(b, wanted, destination, length, arrival);
}

int UFrameRing::GetNewest(uint32_t* wanted, uint8_t* destination, uint32_t* length,
                          TimePoint* arrival) {
  if (!destination || !wanted || !length) return -1;
  std::lock_guard<std::mutex> lock(mu_);
  if (!buffer_ || *wanted == next_sequence_) return -1;
  *wanted = next_sequence_ - 1;
  return CopyOut(newest_, wanted, destination, length, arrival);
}

// Copies the frame of `block` and moves `wanted` past it. mu_ held.
int UFrameRing::CopyOut(uint32_t block, uint32_t* wanted, uint8_t* destination, uint32_t* length,
                        TimePoint* arrival) {
  const Header* h = At(block);
  if (Stride(h->length) > kGetCapacity) {
    *wanted = h->sequence + 1;
    return -1;
  }
  std::memcpy(destination, buffer_.get() + h->data, h->length);
  *length = h->length;
  if (arrival) {
    const Arrival& a = arrivals_[h->sequence % kArrivalSlots];
    *arrival = a.sequence == h->sequence ? a.time : TimePoint{};
  }
  *wanted += 1;
  return 0;
}
