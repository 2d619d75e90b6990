#include "media/media_sample.h"

#include <algorithm>
#include <cstring>

NTavoMediaSample::~NTavoMediaSample() {
  if (pool_ && block_) pool_->ring_.Free(block_, block_size_);
  pool_ = nullptr;
  block_ = nullptr;
}

NTavoMediaPool::NTavoMediaPool(uint32_t capacity) : ring_(capacity) {}

NTavoMediaPool::~NTavoMediaPool() = default;

std::unique_ptr<NTavoMediaSample> NTavoMediaPool::NewSample(int size) {
  if (size <= 0) return nullptr;
  std::unique_ptr<NTavoMediaSample> sample(new NTavoMediaSample(this));
  const uint32_t block_size = static_cast<uint32_t>(std::max(size, NTavoMediaSample::kHeaderSize));
  auto* block = static_cast<uint8_t*>(ring_.Alloc(block_size));
  if (!block) return nullptr;
  if (size < NTavoMediaSample::kHeaderSize) std::memset(block, 0, block_size);
  sample->block_ = block;
  sample->block_size_ = block_size;
  sample->part_length_ = size;
  sample->payload_length_ = std::max(0, size - NTavoMediaSample::kHeaderSize);
  return sample;
}
