// Where the cells of a table leaf page stand: as its cell-pointer array says, or,
// when the array cannot be right (pointers outside the cell content, cells that
// overlap or do not parse), as a scan of the content area finds them.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/reader/btree_page.h"

namespace engine {

// The offsets of the cells of table leaf page `pageNumber` (held in `page`, whose
// header is `h`) in pointer order; 0 marks a pointer that names no cell. When the
// pointers cannot be right, the offsets of the whole cells a scan finds from the
// content start (or past the pointers) to the page's end, skipping its freeblocks.
std::vector<uint32_t> LeafCellOffsets(const uint8_t* page, uint32_t usable, const BtreePageHeader& h);

// The offsets of the first `n` cells of a table leaf page, as LeafCellOffsets gives
// them, cheaply when those cells' pointers each name a whole cell in the content
// area (the rest of the page is not looked at then).
// `offsets` is the output (its storage reused from call to call).
void FirstLeafCellOffsets(const uint8_t* page, uint32_t usable, const BtreePageHeader& h, uint32_t n,
                          std::vector<uint32_t>& offsets);

// The offsets of the cells of an index page (leaf or interior), in pointer order:
// each pointer's cell unless it overlaps the cell of an earlier pointer. No real
// page has two cells on the same bytes; pointers crafted onto one cell would make
// its record be read once for each.
std::vector<uint32_t> IndexCellOffsets(const uint8_t* page, uint32_t usable, const BtreePageHeader& h);

// Where the live cells of a table leaf or index page stand, [start, end) each,
// ascending: the cells LeafCellOffsets gives for a table leaf, the cell-pointer
// array's for an index page. A cell is as long as its varints, its local payload
// and its overflow pointer say (4 bytes at least), cut at the usable end.
std::vector<std::pair<uint32_t, uint32_t>> LiveCellSpans(const uint8_t* page, uint32_t usable,
                                                         const BtreePageHeader& h);

// The offsets of the whole table leaf cells a scan finds in [from, to) of `page`:
// cell after cell, and after a byte that starts none, at the next that does. A
// cell is whole when its record header parses and describes its payload size
// exactly. Ranges of `skip` (start, end) are stepped over.
std::vector<uint32_t> ScanTableLeafCells(const uint8_t* page, uint32_t usable, uint32_t from, uint32_t to,
                                         const std::vector<std::pair<uint32_t, uint32_t>>& skip = {});

}  // namespace engine
