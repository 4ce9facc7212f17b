// Where a cell may begin on the page in hand and what its head shows: an old
// freeblock header, a whole cell's varints, or a live cell written over a freed one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/records/carver_state.h"
#include "engine/records/record_carver.h"

namespace engine::carving {

// Reads the page set by RecordCarver::StartPage. Made for a call; `state` must
// outlive it.
class CellHeads {
 public:
  explicit CellHeads(const CarverState& state) : s_(state) {}

  bool OldFreeblockHeader(const uint8_t* page, uint32_t x, uint32_t end, bool mayPassEnd,
                          uint32_t* size) const;
  // The varints of a whole cell at `x`: payload size, rowid (none in an index
  // cell), header size. Null when they cannot be a cell's.
  const uint8_t* WholeCellStart(const uint8_t* page, uint32_t x, uint32_t end, int64_t* payload,
                                int64_t* rowid, int64_t* header, const uint8_t** afterPayload,
                                const uint8_t** afterRowid) const;
  // Whether a cell can begin at `x`: intact, or under an old freeblock header that
  // ends by `end`.
  bool CellMayStart(const uint8_t* page, uint32_t x, uint32_t end) const;
  // Whether the values a record cut at `at` keeps are all the live cell's at `at`
  // (the newer version of the row, written over the older one's end): then the
  // older one tells nothing.
  // `known`: the values from the first one the record knows; the first
  // `lostTypes` of them may be NULL for not told.
  bool SameAsCellAt(const uint8_t* page, uint32_t at, const CarvedRecord& record, size_t known,
                    int lostTypes) const;
  // Where the live cell that begins at `at` ends; 0 when none begins there.
  uint32_t LiveCellEndFrom(uint32_t at) const;
  bool IsBoundary(uint32_t x) const;

 private:
  const CarverState& s_;
};

}  // namespace engine::carving
