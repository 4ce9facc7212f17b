// Carving deleted records out of a table leaf page: from its freeblocks, whose first
// four bytes SQLite overwrote with the freeblock header, and from the unallocated
// gap, where SQLite gives back a freed cell that bordered the cell content whole.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "engine/reader/btree_page.h"
#include "engine/reader/format.h"
#include "engine/reader/overflow_claims.h"
#include "engine/reader/page_reader.h"
#include "engine/records/carver_state.h"
#include "engine/records/type_class.h"
#include "engine/records/value.h"
#include "engine/schema/column_data.h"

namespace engine {

struct CarvedRecord {
  std::vector<Value> values;  // one per column of the table; a value not known is NULL
  bool rowidKnown = false;
  int64_t rowid = 0;
  // Texts and blobs cut short where their overflow chain broke: the bytes that
  // survive, none made up.
  uint32_t cutValues = 0;
  // A newer cell was written over the record's end (SQLite gives a new cell the end
  // of the freeblock it takes): the values past its start are not known, and a text
  // or blob it cut keeps the bytes before it.
  bool overwritten = false;
};

// Thread: one carver per job; it only reads. The pages must outlive it.
class RecordCarver {
 public:
  // `minColumns`: the fewest values a record of the table has (fewer than the
  // columns when some were added after rows were written; the live rows tell).
  // `aliasColumn`: the record index of the INTEGER PRIMARY KEY (whose stored value
  // is NULL), or -1. `indexCells`: the table has no rowid and its cells are an index
  // tree's (no rowid varint; an interior cell leads with its left child).
  RecordCarver(const std::vector<columndata>& columns, size_t minColumns,
               format::TextEncoding encoding, uint32_t usableSize, const PageReader& pages,
               int aliasColumn, bool indexCells = false);

  // Gives the carver its full amount of work for the next page, whose header is
  // `header` and whose live cells stand at `liveCells` (LiveCellSpans). Until it is
  // called again, CarveFreeblock and CarveGap together try a bounded number of
  // alignments.
  void StartPage(const uint8_t* page, const BtreePageHeader& header,
                 const std::vector<std::pair<uint32_t, uint32_t>>& liveCells) const;

  // The most common stored sizes of the record's first two values among the live
  // rows (UINT64_MAX when not known): where two lost values could split their bytes
  // in more than one way, the split of these sizes is taken.
  void SetTypicalLeadSizes(uint64_t first, uint64_t second) { state_.typicalLead[0] = first; state_.typicalLead[1] = second; }

  // The database stores the integers 0 and 1 under serial types of their own (its
  // schema format is 4, as since SQLite 3.3): a one-byte 0 or 1 is no record's.
  void SetSmallIntegerTypes(bool own) { state_.smallIntegerTypes = own; }

  // The value kinds the live rows hold, a bit per Value::Kind for each column
  // (record order; none known: 0).
  void SetLiveKinds(std::vector<uint8_t> kinds) { state_.liveKinds = std::move(kinds); }

  // Records in the freeblock [start, end) of `page` (a cell began at `start`): of the
  // chains of cells that can fill it, the one best explained.
  void CarveFreeblock(const uint8_t* page, uint32_t start, uint32_t end,
                      std::vector<CarvedRecord>& out) const;

  // Records in the unallocated gap [start, end) of `page`: freed cells under the
  // headers that chain up to the content start, and intact cells elsewhere.
  void CarveGap(const uint8_t* page, uint32_t start, uint32_t end,
                std::vector<CarvedRecord>& out) const;

 private:
  // The parts of the carving share the table's facts and the page in hand: the
  // candidates at a position (CandidateFinder, CandidateBuilder), the heads of cells
  // (CellHeads), the rules for values (CarvedValueRules), and the chain of cells in
  // a freeblock (FreeblockChain).
  mutable carving::CarverState state_;
};

}  // namespace engine
