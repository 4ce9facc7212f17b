// What the parts of RecordCarver share: the table's facts and the page in hand
// (CarverState), the weights and limits they carve by, and small serial-type helpers.
#pragma once

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/reader/format.h"
#include "engine/reader/overflow_claims.h"
#include "engine/reader/page_reader.h"
#include "engine/records/table_row.h"
#include "engine/schema/column_data.h"

namespace engine::carving {

// A freeblock header overwrites a cell's first bytes.
constexpr uint32_t kLostBytes = format::kFreeblockHeaderSize;
constexpr uint32_t kMaxFragment = 3;      // SQLite absorbs gaps below 4 bytes into a freeblock
// The longest content of a one-byte serial type (a text or a blob).
constexpr uint64_t kMaxOneByteSize = (format::kVarintGroupMask - format::kSerialFirstText) / 2;
// Lengths of the varints a damaged cell is tried with: payload sizes the carver
// believes need at most 4 bytes, header sizes at most 2.
constexpr int kMaxPayloadVarint = 4;
constexpr int kMaxHeaderSizeVarint = 2;
constexpr int kRejected = INT_MIN / 2;
// Scores are rough weights of evidence. A freeblock's bytes left unexplained after
// its last carved cell cost kTail: a cell that also explains them is believed more.
constexpr int kTail = 20;
constexpr int kFragmentCost = 2;  // each byte between two cells
constexpr size_t kWorkPerOverflowPage = 16;  // in alignments tried
constexpr uint64_t kPagesWithZeroLeadByte = uint64_t{1} << 24;
// A record that runs under a live cell to exactly that cell's end: SQLite wrote the
// newer cell over the end of the freed one. Seldom met by chance.
constexpr int kUnderCellEvidence = 6;

inline int VarintLength(uint64_t v) {
  int n = 1;
  while (n < format::kMaxVarintSize && (v >> (format::kVarintGroupBits * n)) != 0) ++n;
  return n;
}

// The serial type of a text or a blob of `size` bytes.
inline uint64_t TextType(uint64_t size) { return format::kSerialFirstText + 2 * size; }
inline uint64_t BlobType(uint64_t size) { return format::kSerialFirstBlob + 2 * size; }

// The table a RecordCarver carves for, and the page in hand. The carver owns one;
// its parts (CandidateFinder, CandidateBuilder, CellHeads, CarvedValueRules,
// FreeblockChain) are made for a call and read and update it through a reference.
struct CarverState {
  CarverState(const std::vector<columndata>& columnList, size_t fewestColumns, format::TextEncoding textEncoding,
              uint32_t usableSize, const PageReader& pageReader, int alias, bool indexTree)
      : columns(columnList),
        minColumns(std::max<size_t>(1, std::min(fewestColumns, columnList.size()))),
        aliasColumn(alias),
        indexCells(indexTree),
        encoding(textEncoding),
        usable(usableSize),
        pages(pageReader),
        walked(pageReader),
        rereads(kRereadsPerFilePage * pageReader.PageCount() + kWorkPerPage / kWorkPerOverflowPage) {
    for (const columndata& column : columns) affinities.push_back(ColumnAffinity(column));
  }

  std::vector<columndata> columns;
  std::vector<Affinity> affinities;
  static constexpr size_t kWorkPerPage = 1000000;
  size_t budget = kWorkPerPage;
  // Where the page's live cells and freeblocks begin, and its usable end, ascending.
  std::vector<uint32_t> boundaries;
  // The live cells of a table leaf page, [start, end) each, ascending.
  std::vector<std::pair<uint32_t, uint32_t>> liveCells;
  size_t minColumns;
  int aliasColumn = -1;  // the INTEGER PRIMARY KEY column, whose stored value is NULL
  bool indexCells = false;
  uint64_t typicalLead[2] = {UINT64_MAX, UINT64_MAX};
  bool smallIntegerTypes = false;
  std::vector<uint8_t> liveKinds;
  bool interiorPage = false;  // the page in hand is an index tree's interior page
  format::TextEncoding encoding;
  uint32_t usable;
  const PageReader& pages;
  // Overflow pages the chains of candidates have read. Candidates of wrong
  // alignments read chains too, so a page read before is not cut from a chain (it
  // may be a real cell's) but read again against `rereads`: all the carving of a
  // table reads at most the file's pages kRereadsPerFilePage + 1 times, plus one
  // page's work.
  static constexpr uint64_t kRereadsPerFilePage = 2;
  OverflowClaims walked;
  uint64_t rereads;
};

}  // namespace engine::carving
