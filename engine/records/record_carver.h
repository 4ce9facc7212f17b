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
  void SetTypicalLeadSizes(uint64_t first, uint64_t second) { typicalLead_[0] = first; typicalLead_[1] = second; }

  // The database stores the integers 0 and 1 under serial types of their own (its
  // schema format is 4, as since SQLite 3.3): a one-byte 0 or 1 is no record's.
  void SetSmallIntegerTypes(bool own) { smallIntegerTypes_ = own; }

  // The value kinds the live rows hold, a bit per Value::Kind for each column
  // (record order; none known: 0).
  void SetLiveKinds(std::vector<uint8_t> kinds) { liveKinds_ = std::move(kinds); }

  // Records in the freeblock [start, end) of `page` (a cell began at `start`): of the
  // chains of cells that can fill it, the one best explained.
  void CarveFreeblock(const uint8_t* page, uint32_t start, uint32_t end,
                      std::vector<CarvedRecord>& out) const;

  // Records in the unallocated gap [start, end) of `page`: freed cells under the
  // headers that chain up to the content start, and intact cells elsewhere.
  void CarveGap(const uint8_t* page, uint32_t start, uint32_t end,
                std::vector<CarvedRecord>& out) const;

 private:
  struct Candidate;
  struct Layout;
  struct Shape;
  enum class Start {
    kFreeblock,  // where a freeblock begins: the cell's first four bytes are its header
    kAfterCell,  // right after a carved cell: intact, or under the header of an old freeblock
    kWholeCell,  // anywhere: only an intact cell
  };

  // CarveFreeblock, where no cell may reach across a position of `barriers`
  // (ascending): there another freeblock began.
  void CarveBlock(const uint8_t* page, uint32_t start, uint32_t end,
                  const std::vector<uint32_t>& barriers, std::vector<CarvedRecord>& out) const;
  // Every plausible cell beginning at `x` and ending at or before `end`, at most one
  // for each length.
  void CandidatesAt(const uint8_t* page, uint32_t x, uint32_t end, Start start,
                    std::vector<Candidate>& out) const;
  // The serial types a layout reads at `x` that can be a record's: one set when the
  // header size survived, else one for each count of values the table allows.
  void ForEachShape(const uint8_t* page, uint32_t x, uint32_t end, const Layout& layout,
                    const std::function<void(const Shape&)>& onShape) const;
  // The record of a shape whose lost first value, if any, has `lostSize` bytes.
  bool Build(const uint8_t* page, uint32_t x, uint32_t end, const Layout& layout, const Shape& shape,
             uint64_t lostSize, Candidate* candidate) const;
  // Whether a cell can begin at `x`: intact, or under an old freeblock header that
  // ends by `end`.
  bool CellMayStart(const uint8_t* page, uint32_t x, uint32_t end) const;
  bool IsBoundary(uint32_t x) const;
  // Where the live cell that begins at `at` ends; 0 when none begins there.
  uint32_t LiveCellEndFrom(uint32_t at) const;
  // Whether the values a record cut at `at` keeps are all the live cell's at `at`
  // (the newer version of the row, written over the older one's end): then the
  // older one tells nothing.
  // `known`: the values from the first one the record knows; the first
  // `lostTypes` of them may be NULL for not told.
  bool SameAsCellAt(const uint8_t* page, uint32_t at, const CarvedRecord& record, size_t known,
                    int lostTypes) const;
  bool OldFreeblockHeader(const uint8_t* page, uint32_t x, uint32_t end, bool mayPassEnd,
                          uint32_t* size) const;
  // Whether a decoded text can be a record's: no zero characters, valid UTF-8, and,
  // from a UTF-16 database, no sign of a wrong alignment.
  bool PlausibleText(const std::string& utf8) const;
  Value InferLostValue(const uint8_t* data, uint32_t size, size_t column) const;
  // Whether `size` bytes at `data` can be a value of `column` whose serial type was
  // lost; for the split of two lost values.
  bool LostValueFits(const uint8_t* data, uint64_t size, size_t column) const;
  // The varints of a whole cell at `x`: payload size, rowid (none in an index
  // cell), header size. Null when they cannot be a cell's.
  const uint8_t* WholeCellStart(const uint8_t* page, uint32_t x, uint32_t end, int64_t* payload,
                                int64_t* rowid, int64_t* header, const uint8_t** afterPayload,
                                const uint8_t** afterRowid) const;

  std::vector<columndata> columns_;
  std::vector<Affinity> affinities_;
  static constexpr size_t kWorkPerPage = 1000000;
  mutable size_t budget_ = kWorkPerPage;
  // Where the page's live cells and freeblocks begin, and its usable end, ascending.
  mutable std::vector<uint32_t> boundaries_;
  // The live cells of a table leaf page, [start, end) each, ascending.
  mutable std::vector<std::pair<uint32_t, uint32_t>> liveCells_;
  size_t minColumns_;
  int aliasColumn_ = -1;  // the INTEGER PRIMARY KEY column, whose stored value is NULL
  bool indexCells_ = false;
  uint64_t typicalLead_[2] = {UINT64_MAX, UINT64_MAX};
  bool smallIntegerTypes_ = false;
  std::vector<uint8_t> liveKinds_;
  mutable bool interiorPage_ = false;  // the page in hand is an index tree's interior page
  format::TextEncoding encoding_;
  uint32_t usable_;
  const PageReader& pages_;
  // Overflow pages the chains of candidates have read. Candidates of wrong
  // alignments read chains too, so a page read before is not cut from a chain (it
  // may be a real cell's) but read again against `rereads_`: all the carving of a
  // table reads at most the file's pages kRereadsPerFilePage + 1 times, plus one
  // page's work.
  static constexpr uint64_t kRereadsPerFilePage = 2;
  mutable OverflowClaims walked_;
  mutable uint64_t rereads_;
};

}  // namespace engine
