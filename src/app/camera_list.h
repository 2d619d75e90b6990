// The cameras of the last search, one row per MAC in order of arrival.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "discovery/discovery_wire.h"

// Threads: the finder thread adds while a search runs; the UI thread clears
// it before a search and reads rows. Every member is guarded by mutex_.
class CameraList {
 public:
  // Rows of the list; the distinct cameras beyond them are counted, up to
  // kMaxCounted, and the list says how many more answered.
  static constexpr size_t kMaxListed = 1024;
  static constexpr size_t kMaxCounted = 65536;
  // The devices a row keeps, each answering as its MAC from an address of
  // its own; the addresses beyond them are counted, up to kMaxCountedDevices.
  static constexpr size_t kMaxDevices = 4;
  static constexpr size_t kMaxCountedDevices = 256;

  // A repeated answer (a camera heard twice, or through two adapters)
  // changes nothing; the same MAC from another address is an impostor or a
  // copied MAC: the row keeps that device too, after the first, and has a
  // twin. True when a new row was added.
  bool Add(const CameraRecord& record);
  void Clear();

  struct Row {
    CameraRecord camera;                // the first answer
    std::vector<CameraRecord> devices;  // every device kept, `camera` first
    size_t more_devices = 0;            // other addresses that answered as it
    bool twin = false;                  // another device answered with this MAC
  };
  std::vector<Row> Rows() const;
  std::optional<Row> RowAt(int index) const;
  // The cameras of the rows from `first` on.
  std::vector<CameraRecord> From(size_t first) const;
  // The device `device` of row `index` (the first answer by default).
  std::optional<CameraRecord> At(int index, size_t device = 0) const;
  size_t Count() const;
  // The distinct cameras that answered beyond the listed ones.
  size_t Unlisted() const;
  // The row of the camera with `camera`'s MAC, or -1.
  int RowOf(const CameraRecord& camera) const;

 private:
  // A 48-bit MAC, hashed with a per-process salt so that a flood of chosen
  // MACs cannot pile into one bucket.
  struct MacHash {
    size_t operator()(uint64_t mac) const;
  };
  struct Entry {
    std::vector<CameraRecord> devices;
    std::unordered_set<uint32_t> more;  // addresses beyond the kept devices
  };
  Row MakeRow(const Entry& entry) const;

  mutable std::mutex mutex_;
  std::vector<Entry> rows_;
  std::unordered_map<uint64_t, size_t, MacHash> listed_;  // MAC to row
  std::unordered_set<uint64_t, MacHash> unlisted_;
};
