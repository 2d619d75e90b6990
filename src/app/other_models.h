// The devices of other models that answered a search: the wizard does not
// list them, but the page that finds no camera says that they answered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "discovery/discovery_wire.h"

// Threads: the finder thread adds while a search runs; the UI thread clears
// it before a search and reads it. Every member is guarded by mutex_.
class OtherModels {
 public:
  // Distinct devices counted, and distinct model names kept.
  static constexpr size_t kMaxCounted = 65536;
  static constexpr size_t kMaxNames = 8;

  // Counts the device by its MAC; a repeated answer changes nothing.
  void Add(const CameraRecord& record);
  void Clear();

  struct Summary {
    size_t devices = 0;
    bool more_devices = false;        // the count stopped at kMaxCounted
    std::vector<std::string> models;  // UTF-8, in order of arrival
    bool more_models = false;         // other names beyond kMaxNames
  };
  Summary Read() const;

 private:
  mutable std::mutex mutex_;
  std::set<uint64_t> macs_;  // a tree: no chosen MACs can slow it down
  bool more_devices_ = false;
  std::vector<std::string> models_;  // as the devices sent them (8-bit text)
  bool more_models_ = false;
};
