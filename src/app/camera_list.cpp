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
    const CameraRecord& first = rows_[listed->second.row];
    if (RecordIpAddress(first) != RecordIpAddress(record)) listed->second.twin = true;
  } else if (rows_.size() < kMaxListed) {
    listed_.emplace(key, Listed{rows_.size(), false});
    rows_.push_back(record);
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

std::vector<CameraList::Row> CameraList::Rows() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Row> rows;
  rows.reserve(rows_.size());
  for (const CameraRecord& camera : rows_)
    rows.push_back({camera, listed_.at(MacKey(camera)).twin});
  return rows;
}

std::vector<CameraRecord> CameraList::From(size_t first) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (first >= rows_.size()) return {};
  return std::vector<CameraRecord>(rows_.begin() + static_cast<ptrdiff_t>(first), rows_.end());
}

std::optional<CameraRecord> CameraList::At(int index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || static_cast<size_t>(index) >= rows_.size()) return std::nullopt;
  return rows_[static_cast<size_t>(index)];
}

size_t CameraList::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rows_.size();
}

size_t CameraList::Unlisted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unlisted_.size();
}

bool CameraList::HasTwin(const CameraRecord& camera) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto listed = listed_.find(MacKey(camera));
  return listed != listed_.end() && listed->second.twin;
}

int CameraList::RowOf(const CameraRecord& camera) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto listed = listed_.find(MacKey(camera));
  return listed == listed_.end() ? -1 : static_cast<int>(listed->second.row);
}
