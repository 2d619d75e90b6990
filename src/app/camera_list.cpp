#include "app/camera_list.h"

#include <chrono>
#include <random>

namespace {

uint64_t MacKey(const CameraRecord& record) {
  uint64_t key = 0;
  for (uint8_t byte : record.header.macAddress) key = key << 8 | byte;
  return key;
}

uint64_t RandomSalt() {
  try {
    std::random_device random;
    return uint64_t{random()} << 32 | random();
  } catch (...) {  // no randomness to be had: the start time, unseen by a sender, will do
    return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
}

}  // namespace

// splitmix64's finaliser over the salted MAC.
size_t CameraList::MacHash::operator()(uint64_t mac) const {
  static const uint64_t salt = RandomSalt();
  uint64_t x = mac ^ salt;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9u;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebu;
  return static_cast<size_t>(x ^ (x >> 31));
}

bool CameraList::Add(const CameraRecord& record) {
  const uint64_t key = MacKey(record);
  std::lock_guard<std::mutex> lock(mutex_);
  if (const auto listed = listed_.find(key); listed != listed_.end()) {
    Entry& entry = rows_[listed->second];
    const uint32_t address = RecordIpAddress(record);
    for (const CameraRecord& device : entry.devices)
      if (RecordIpAddress(device) == address) return false;
    if (entry.devices.size() < kMaxDevices) {
      entry.devices.push_back(record);
    } else if (entry.more.size() < kMaxCountedDevices) {
      entry.more.insert(address);
    }
  } else if (rows_.size() < kMaxListed) {
    listed_.emplace(key, rows_.size());
    rows_.push_back({{record}, {}});
    return true;
  } else if (unlisted_.size() < kMaxCounted) {
    unlisted_.insert(key);
  }
  return false;
}

void CameraList::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  rows_.clear();
  listed_.clear();
  unlisted_.clear();
}

CameraList::Row CameraList::MakeRow(const Entry& entry) const {
  return {entry.devices.front(), entry.devices, entry.more.size(), entry.devices.size() > 1};
}

std::vector<CameraList::Row> CameraList::Rows() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Row> rows;
  rows.reserve(rows_.size());
  for (const Entry& entry : rows_) rows.push_back(MakeRow(entry));
  return rows;
}

std::optional<CameraList::Row> CameraList::RowAt(int index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || static_cast<size_t>(index) >= rows_.size()) return std::nullopt;
  return MakeRow(rows_[static_cast<size_t>(index)]);
}

std::vector<CameraRecord> CameraList::From(size_t first) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CameraRecord> cameras;
  for (size_t i = first; i < rows_.size(); ++i) cameras.push_back(rows_[i].devices.front());
  return cameras;
}

std::optional<CameraRecord> CameraList::At(int index, size_t device) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || static_cast<size_t>(index) >= rows_.size()) return std::nullopt;
  const std::vector<CameraRecord>& devices = rows_[static_cast<size_t>(index)].devices;
  if (device >= devices.size()) return std::nullopt;
  return devices[device];
}

size_t CameraList::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rows_.size();
}

size_t CameraList::Unlisted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unlisted_.size();
}

int CameraList::RowOf(const CameraRecord& camera) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto listed = listed_.find(MacKey(camera));
  return listed == listed_.end() ? -1 : static_cast<int>(listed->second);
}
