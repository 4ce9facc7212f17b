// A 128-bit fingerprint of a record's values, so that sets of rows (the live rows a
// carving must not repeat) cost 16 bytes a row instead of the rows' bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <algorithm>
#include <vector>

#include "engine/records/value.h"

namespace engine {

struct RowHash {
  uint64_t high = 0;
  uint64_t low = 0;
  bool operator==(const RowHash& other) const { return high == other.high && low == other.low; }
  bool operator<(const RowHash& other) const {
    return high != other.high ? high < other.high : low < other.low;
  }
};

// A set of fingerprints built once, then only asked: a sorted array, 16 bytes a row.
class SortedRowHashes {
 public:
  void Add(RowHash h) { hashes_.push_back(h); }
  // Call once after the last Add.
  void Seal() {
    std::sort(hashes_.begin(), hashes_.end());
    hashes_.shrink_to_fit();
  }
  bool Contains(RowHash h) const { return std::binary_search(hashes_.begin(), hashes_.end(), h); }

 private:
  std::vector<RowHash> hashes_;
};

// A set of fingerprints in one flat table (open addressing, at most three quarters
// full): 21 to 43 bytes a row, where a node-based set takes about 64. Single-threaded.
class RowHashSet {
 public:
  // True when `h` was not in the set yet.
  bool Insert(RowHash h);
  bool Contains(RowHash h) const;
  size_t Size() const { return size_; }

 private:
  static RowHash Stored(RowHash h) {
    if (h.high == 0 && h.low == 0) h.low = 1;  // {0, 0} marks an empty slot
    return h;
  }
  size_t Slot(const RowHash& h) const { return static_cast<size_t>(h.low) & (slots_.size() - 1); }
  void Grow();

  std::vector<RowHash> slots_;
  size_t size_ = 0;
};

// The fingerprint of `values` (record order), the value at `skip` left out (the
// rowid's own column, which a carved record seldom knows). Kinds, lengths and bytes
// all count, so records differing in any of them differ here but for a 2^-128
// chance.
RowHash HashRow(const std::vector<Value>& values, int skip);

}  // namespace engine
