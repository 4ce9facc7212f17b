// The deleted records of a table: carved out of its leaf pages' freeblocks and
// unallocated gaps, and out of freed leaf pages whose records fit it best.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/reader/btree_page.h"
#include "engine/reader/database.h"
#include "engine/reader/work.h"
#include "engine/records/record_carver.h"
#include "engine/records/row_sink.h"
#include "engine/schema/schema_entries.h"

namespace engine {

// Where a companion's records were carved from: the free space of the table's own
// pages, pages it freed, cells written over, the rollback journal's and the
// write-ahead log's older page versions.
enum class CarveSource { FreeSpace, FreedPages, OverwrittenCells, Journal, WriteAheadLog };
inline constexpr size_t kCarveSources = 5;
struct CarveCounts {
  std::array<uint64_t, kCarveSources> rows{};  // by CarveSource
  uint64_t cutValues = 0;  // texts and blobs cut short where their overflow chain broke
};

// Carves the free space of `page` (page `pageNumber`, header `h`): all it holds
// that no live cell takes, whatever its freeblock chain says (a next offset or a
// size altered by damage or by a tool wiping traces hides nothing). Between the
// cell pointers and the cell content lies the gap, where a freed cell that
// bordered the content was given back whole; each stretch of the content area
// between live cells is a freeblock, a freed cell at its start, the chain's blocks
// believed where they lie in free space. One progress step per stretch.
void CarveFreeSpace(const Database& db, const RecordCarver& carver, const uint8_t* page, uint64_t pageNumber,
                    const BtreePageHeader& h, Work& work, std::vector<CarvedRecord>& found);

// Hands each deleted record of companion `entry`'s table to `sink` once, in record
// order with the rowid when it survived; a record equal to a live row of the table
// (an old copy of a moved cell) is left out. `schema` names the other tables a
// freed page could have belonged to. One progress step per freeblock and per page;
// with `startBar`, the bar is started first with the number of pages to carve.
// `counts` (when given) counts the records handed on, by where they came from.
void CarveDeletedRecords(const Database& db, const Schema& schema, const TableEntry& entry,
                         Work& work, bool startBar, RowSink& sink, CarveCounts* counts = nullptr);

}  // namespace engine
