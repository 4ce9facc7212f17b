// One cell of a table b-tree leaf page: its rowid and its whole payload, the part
// stored in the cell joined with what its overflow chain holds.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/reader/overflow_claims.h"
#include "engine/reader/page_reader.h"

namespace engine {

struct LeafCell {
  int64_t rowid = 0;
  int64_t payloadSize = 0;       // as the cell states it
  int64_t possibleSize = 0;      // payloadSize, bounded by what the file could hold
  std::vector<uint8_t> payload;  // what could be read, at most payloadSize bytes
  size_t localSize = 0;          // bytes of payload that stand in the cell itself
  bool complete = false;         // payload holds all payloadSize bytes
};

// Reads the cell at `cellOffset` of the table leaf page `page` (usable size
// `usable`). The local part follows the file format's rule; the rest follows the
// overflow chain, usable - 4 bytes a page, stopping at a page number that is 0 or
// past the end of the file, and at a page met before: with `claims`, one claimed by
// this cell or by any cell read with the same claims (a page belongs to one chain
// only, so the pages a walk over a table reads stay within the file's page count);
// without, one this cell's chain already visited. A cell cut short keeps what it
// had and is not complete. Returns false when the cell's own header cannot be read
// (it runs off the page, or the payload size is negative).
bool ReadTableLeafCell(const PageReader& pages, const uint8_t* page, uint32_t usable,
                       uint32_t cellOffset, LeafCell* cell, OverflowClaims* claims = nullptr);

// The same for a cell of an index b-tree page, which holds no rowid (`rowid` is
// 0): a leaf cell is the payload size and the payload; an interior cell (when
// `interior`) has its left child's page number before them.
bool ReadIndexCell(const PageReader& pages, const uint8_t* page, uint32_t usable, uint32_t cellOffset,
                   bool interior, LeafCell* cell, OverflowClaims* claims = nullptr);

}  // namespace engine
