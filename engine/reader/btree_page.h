// The header and cell pointers of one b-tree page, read defensively: counts are
// clamped to what fits, pointers outside the usable area are ignored.
#pragma once

#include <cstdint>

namespace engine {

struct BtreePageHeader {
  int headerOffset = 0;        // 100 on page 1, 0 elsewhere
  uint8_t type = 0;            // 5 table interior, 13 table leaf, ...
  uint16_t firstFreeblock = 0;
  uint32_t cellCount = 0;      // as clamped: every pointer lies inside the usable area
  uint32_t storedCellCount = 0;
  uint32_t contentStart = 0;   // 0 stored means 65536
  uint32_t rightChild = 0;     // interior pages only
  int cellPointerStart = 0;    // header offset + 8 or + 12
};

// Reads the header of page `pageNumber` held in `page` (at least `usableSize` bytes).
BtreePageHeader ParseBtreeHeader(const uint8_t* page, uint32_t usableSize, uint64_t pageNumber);

// Offset of cell `index` from the page start, or 0 when the stored pointer would put
// the cell outside the usable area (an overwritten pointer array).
uint32_t CellOffset(const uint8_t* page, uint32_t usableSize, const BtreePageHeader& header,
                    uint32_t index);

// Left child page number of cell `index` of a table interior page, or 0 when its
// pointer is unusable.
uint32_t CellLeftChild(const uint8_t* page, uint32_t usableSize, const BtreePageHeader& header,
                       uint32_t index);

}  // namespace engine
