// A 128-bit fingerprint of a record's values, so that sets of rows (the live rows a
// carving must not repeat) cost 16 bytes a row instead of the rows' bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/records/value.h"

namespace engine {

struct RowHash {
  uint64_t high = 0;
  uint64_t low = 0;
  bool operator==(const RowHash& other) const { return high == other.high && low == other.low; }
};

struct RowHashOf {
  size_t operator()(const RowHash& h) const { return static_cast<size_t>(h.low ^ (h.high >> 1)); }
};

// The fingerprint of `values` (record order), the value at `skip` left out (the
// rowid's own column, which a carved record seldom knows). Kinds, lengths and bytes
// all count, so records differing in any of them differ here but for a 2^-128
// chance.
RowHash HashRow(const std::vector<Value>& values, int skip);

}  // namespace engine
