#include "app/other_models.h"

#include <algorithm>

#include "app/text_convert.h"

namespace {

uint64_t MacKey(const CameraRecord& record) {
  uint64_t key = 0;
  for (uint8_t byte : record.header.macAddress) key = key << 8 | byte;
  return key;
}

}  // namespace

void OtherModels::Add(const CameraRecord& record) {
  const uint64_t key = MacKey(record);
  const std::string model(RecordModelName(record));
  std::lock_guard<std::mutex> lock(mutex_);
  if (macs_.count(key)) return;
  if (macs_.size() >= kMaxCounted) {
    more_devices_ = true;
    return;
  }
  macs_.insert(key);
  // A device without a model name is counted, not named.
  if (model.empty() || std::find(models_.begin(), models_.end(), model) != models_.end()) return;
  if (models_.size() < kMaxNames) {
    models_.push_back(model);
  } else {
    more_models_ = true;
  }
}

void OtherModels::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  macs_.clear();
  more_devices_ = false;
  models_.clear();
  more_models_ = false;
}

OtherModels::Summary OtherModels::Read() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Summary summary;
  summary.devices = macs_.size();
  summary.more_devices = more_devices_;
  for (const std::string& model : models_) summary.models.push_back(Latin1ToUtf8(model));
  summary.more_models = more_models_;
  return summary;
}
