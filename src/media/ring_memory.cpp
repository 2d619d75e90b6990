#include "media/ring_memory.h"

#include <new>

namespace {

constexpr std::align_val_t kAlignment{16};

}  // namespace

URingMemory::URingMemory(uint32_t capacity) {
  const uint32_t granule = 1u << kGranuleShift;
  capacity_ = (capacity + granule - 1) & ~(granule - 1);
  base_ = static_cast<uint8_t*>(::operator new(capacity_, kAlignment));
  release_ = allocation_ = base_;
}

URingMemory::~URingMemory() {
  ::operator delete(base_, kAlignment);
  base_ = release_ = allocation_ = wrap_mark_ = nullptr;
  capacity_ = 0;
}

uint32_t URingMemory::Round(uint32_t size) const {
  const uint32_t granule = 1u << kGranuleShift;
  return (size + granule - 1) & ~(granule - 1);
}

void* URingMemory::Alloc(uint32_t size) {
  const uint32_t b = Round(size);
  if (b == 0 || b >= capacity_) return nullptr;
  std::lock_guard<std::mutex> lock(mu_);
  // An empty ring starts over at base, so that any request smaller than the
  // capacity fits; left where it was, a large request could wait for ever.
  if (release_ == allocation_ && early_.empty()) {
    release_ = allocation_ = base_;
    wrap_mark_ = nullptr;
  }
  uint8_t* const end = base_ + capacity_;
  uint8_t* block = nullptr;
  if (allocation_ >= release_) {
    if (b < static_cast<size_t>(end - allocation_))
      block = allocation_;
    else if (b < static_cast<size_t>(release_ - base_))
      block = base_;
  } else if (b < static_cast<size_t>(release_ - allocation_)) {
    block = allocation_;
  }
  if (!block) return nullptr;
  if (block == base_ && allocation_ != base_) wrap_mark_ = allocation_;
  allocation_ = block + b;
  return block;
}

void URingMemory::SkipWrapMark() {
  if (wrap_mark_ && release_ == wrap_mark_) {
    release_ = base_;
    wrap_mark_ = nullptr;
  }
}

void URingMemory::Free(void* block, uint32_t size) {
  if (!block) return;
  const uint32_t b = Round(size);
  auto* p = static_cast<uint8_t*>(block);
  std::lock_guard<std::mutex> lock(mu_);
  SkipWrapMark();
  if (p != release_) {
    early_[p] = b;
    return;
  }
  release_ += b;
  SkipWrapMark();
  for (auto it = early_.find(release_); it != early_.end(); it = early_.find(release_)) {
    release_ += it->second;
    early_.erase(it);
    SkipWrapMark();
  }
}

const uint8_t* URingMemory::release_position() const {
  std::lock_guard<std::mutex> lock(mu_);
  return release_;
}

const uint8_t* URingMemory::allocation_position() const {
  std::lock_guard<std::mutex> lock(mu_);
  return allocation_;
}

size_t URingMemory::early_release_count() const {
  std::lock_guard<std::mutex> lock(mu_);
  return early_.size();
}
